// SPDX-License-Identifier: GPL-3.0-or-later
// Batch commit of rewritten pages.
#include "update/page_batch.h"

#include <cerrno>
#include <set>

#include "update/backup_name.h"
#include "update/own_backups.h"
#include "update/write_policy.h"

namespace splicery {
namespace {

// The same failure, told about the page as listed rather than the file behind it.
Status ForPage(const Status& status, const std::string& page) { return status.About(page); }

// Where a link cannot be made (another file system, too many links, links refused) or must
// not be (the file changed, or its group may not read it there), a copy does the job.
bool CopyInstead(const Status& linked) {
  switch (linked.code()) {
    case Code::kChangedSinceRead:
    case Code::kOwnerNotGiven:
      return true;
    default:
      break;
  }
  const int error = linked.error();
  return error == EXDEV || error == EMLINK || error == EPERM || error == EOPNOTSUPP ||
         error == ENOSYS;
}

}  // namespace

PageBatch::~PageBatch() { Abandon(0); }

bool PageBatch::Holds(const FileInfo& info) const { return files_.count(info.key) != 0; }

Status PageBatch::Write(std::string_view bytes, Entry* entry) {
  const WriteWay way = DecideWrite(entry->info.facts);
  if (way == WriteWay::kRefuse) return Status::FromErrno(EACCES, entry->page);
  if (way != WriteWay::kInPlace) {
    std::erase_if(entry->info.facts.attributes,
                  [](const std::string& name) { return !CarriedAttribute(name); });
    Status written = fs_.WriteTemp(entry->info, bytes, &entry->temp);
    const bool fall_back =
        way == WriteWay::kRenameElseInPlace &&
        (written.code() == Code::kOwnerNotGiven || written.code() == Code::kAttributeNotGiven);
    if (!written && !fall_back) return ForPage(written, entry->page);
  }
  if (entry->temp.empty()) entry->bytes = bytes;
  return {};
}

Status PageBatch::Add(const std::string& page, const FileInfo& info, std::string_view bytes) {
  Entry entry;
  entry.page = page;
  entry.info = info;
  if (Status written = Write(bytes, &entry); !written) return written;
  Take(std::move(entry));
  return {};
}

Status PageBatch::Add(const std::string& page, const FileInfo& info, std::string_view old_bytes,
                      std::string_view new_bytes, const std::string& backup,
                      const std::vector<std::string>& own, bool* backup_failed) {
  return Add(page, info, old_bytes, new_bytes, backup, own, false, backup_failed);
}

Status PageBatch::AddHeldLater(const std::string& page, const FileInfo& info,
                               std::string_view old_bytes, std::string_view new_bytes,
                               const std::string& backup, const std::vector<std::string>& own,
                               bool* backup_failed) {
  return Add(page, info, old_bytes, new_bytes, backup, own, true, backup_failed);
}

Status PageBatch::Add(const std::string& page, const FileInfo& info, std::string_view old_bytes,
                      std::string_view new_bytes, const std::string& backup,
                      const std::vector<std::string>& own, bool held_later, bool* backup_failed) {
  Entry entry;
  entry.page = page;
  entry.info = info;
  Status written = Write(new_bytes, &entry);
  // Only a rename parts the page from backups a killed run linked to it.
  Status saved = entry.temp.empty() ? BackUpByCopy(fs_, info, old_bytes, backup, own)
                                    : LinkOrCopy(old_bytes, backup, held_later, &entry);
  *backup_failed = !saved;
  if (!saved) {
    if (!entry.temp.empty()) (void)fs_.RemoveFile(entry.temp);
    return saved;  // no link was made, so nothing of it is held
  }
  if (!written) return written;
  Take(std::move(entry));
  return {};
}

void PageBatch::Hold(std::string* bytes) {
  if (entries_.empty() || !entries_.back().hold_pending) return;
  Entry& entry = entries_.back();
  entry.held = Spare();
  std::swap(entry.held, *bytes);
  entry.hold_pending = false;
}

Status PageBatch::LinkOrCopy(std::string_view old_bytes, const std::string& backup, bool held_later,
                             Entry* entry) {
  Status linked = fs_.LinkFile(entry->info, backup);
  if (!linked) return CopyInstead(linked) ? Copy(entry->info, old_bytes, backup) : linked;
  entry->backup = backup;
  entry->hold_pending = held_later;
  if (!held_later) entry->held = Spare(), entry->held.assign(old_bytes);
  entry->held_size = old_bytes.size();
  held_bytes_ += old_bytes.size();
  return {};
}

std::string PageBatch::Spare() {
  if (spare_.empty()) return {};
  std::string spare = std::move(spare_.back());
  spare_.pop_back();
  return spare;
}

// The entry's buffer for later use; as many as a batch holds, and none of a large page.
void PageBatch::Release(Entry& entry) {
  constexpr size_t kLargest = size_t{256} << 10;
  const size_t capacity = entry.held.capacity();
  if (capacity != 0 && capacity <= kLargest && spare_.size() < entries_.size()) {
    spare_.push_back(std::move(entry.held));
  }
}

Status PageBatch::Copy(const FileInfo& info, std::string_view old_bytes,
                       const std::string& backup) {
  return fs_.CopyFile(info, backup, old_bytes, info.facts.mode & 0666);
}

void PageBatch::Take(Entry entry) {
  if (entry.temp.empty()) in_place_bytes_ += entry.bytes.size();
  files_.insert(entry.info.key);
  entries_.push_back(std::move(entry));
}

void PageBatch::DropLast() {
  if (entries_.empty()) return;
  Entry& entry = entries_.back();
  if (!entry.temp.empty()) (void)fs_.RemoveFile(entry.temp);
  Unshare(entry);
  if (entry.temp.empty()) in_place_bytes_ -= entry.bytes.size();
  held_bytes_ -= entry.held_size;
  files_.erase(entry.info.key);
  entries_.pop_back();
}

Status PageBatch::Commit(std::string* failed, std::vector<std::pair<std::string, bool>>* outcomes) {
  if (outcomes) outcomes->clear();
  if (entries_.empty()) return {};
  Status status = fs_.Flush();  // the backups and new bytes, before anything is replaced
  size_t done = 0;
  bool torn = false;  // a write in place failed half way: whether it was written is not known
  for (; status && done < entries_.size(); ++done) {
    Entry& entry = entries_[done];
    if (entry.temp.empty()) {
      status = fs_.WriteInPlace(entry.info, entry.bytes);
      torn = !status;
    } else {
      status = fs_.PutInPlace(entry.temp, entry.info);
      entry.temp.clear();  // in place, or removed on failure
    }
  }
  // The entry a failure stopped at was not written: done counts it.
  const size_t written = status ? done : done == 0 ? 0 : done - 1;
  for (size_t i = 0; outcomes && i < entries_.size(); ++i) {
    if (!(torn && i == written)) outcomes->emplace_back(entries_[i].page, i < written);
  }
  if (!status) {
    *failed = entries_[done == 0 ? 0 : done - 1].page;
    Abandon(done == 0 ? 0 : done - 1);  // the page it stopped at was not renamed either
    (void)fs_.Flush();                  // the pages already replaced stay so
    return ForPage(status, *failed);
  }
  *failed = entries_.back().page;
  Abandon(done);
  return ForPage(fs_.Flush(), *failed);  // the new names
}

// The bytes read go to a new file under the backup's name. A power cut before that leaves the
// page unchanged and its backup the same file, which the next run does not count as a link.
void PageBatch::Unshare(const Entry& entry) {
  // Without the bytes read (never handed over) the link stays: the next run parts them.
  if (entry.backup.empty() || entry.hold_pending) return;
  if (fs_.RemoveFile(entry.backup)) {
    (void)fs_.CreateFile(entry.backup, entry.held, entry.info.facts.mode & 0666);
  }
}

void PageBatch::Abandon(size_t from) {
  for (size_t i = from; i < entries_.size(); ++i) {
    if (!entries_[i].temp.empty()) (void)fs_.RemoveFile(entries_[i].temp);
    Unshare(entries_[i]);
  }
  for (Entry& entry : entries_) Release(entry);
  entries_.clear();
  files_.clear();
  in_place_bytes_ = 0;
  held_bytes_ = 0;
}

Status PrepareFolders(FileSystem& fs, const std::vector<std::string>& pages) {
  std::set<std::string> folders = {"."};
  for (const std::string& page : pages) {
    const size_t slash = page.rfind('/');
    folders.insert(slash == std::string::npos ? "." : slash == 0 ? "/" : page.substr(0, slash));
  }
  for (const std::string& folder : folders) fs.RemoveLeftovers(folder);
  return fs.MakeDirectory(kBackupFolder);
}

Status CommitJournaled(PageBatch& batch, JournalWriter& journal, std::string* failed) {
  std::vector<std::pair<std::string, bool>> outcomes;
  Status committed = batch.Commit(failed, &outcomes);
  if (journal.is_open()) (void)journal.WriteOutcomes(outcomes);
  return committed;
}

}  // namespace splicery
