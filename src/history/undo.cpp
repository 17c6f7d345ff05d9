// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of the newest run, from the journal.
#include "history/undo.h"

#include <map>
#include <variant>
#include <vector>

#include "rewrite/page_rewrite.h"
#include "update/backup_name.h"
#include "update/journal_reader.h"
#include "update/journal_scope.h"
#include "update/own_backups.h"
#include "update/page_batch.h"
#include "update/run_lock.h"

namespace splicery {
namespace {

// What the run did to one page: the backup of its first visit, the hash it wrote last.
struct Taken {
  std::string path;
  std::string backup;
  uint64_t before = 0;  // the hash of what the backup holds
  uint64_t after = 0;   // the hash the page held when the run was done with it
  bool changed = false;
  bool created = false;  // the run made the file: undo removes it
  bool removed = false;  // the run removed the file: undo puts its backup back
};

// A file the run removed, to be made again from its backup.
struct Remade {
  std::string path, bytes;
  uint32_t mode = 0644;
};

// What an undo changes besides replacing pages: files removed and made again.
struct Files {
  std::vector<std::string> made;  // files the run created, removed after the journal says so
  std::vector<Remade> remade;     // files the run removed, made after the journal says so
};

// Grouped by file, so that one file listed under two names (./a.htm, a link) goes back to the
// backup of its first visit too.
std::vector<Taken> PagesOf(const JournalRun& run, FileSystem& fs) {
  std::vector<Taken> pages;
  // A file that is gone now is told by its name.
  std::map<std::variant<FileKey, std::string>, size_t> index;
  for (const JournalPage& page : run.pages) {
    FileId id;
    std::variant<FileKey, std::string> file = page.path;
    if (fs.Identify(page.path, &id)) file = id.key;
    auto [it, first] = index.try_emplace(file, pages.size());
    if (first) {
      pages.push_back(
          {page.path, page.backup, page.old_hash, 0, false, page.created, page.removed});
    }
    Taken& taken = pages[it->second];
    // A file the run did not write (its commit failed) holds what it held before.
    taken.after = page.new_hash && page.Replaced() ? *page.new_hash : page.old_hash;
    taken.changed = taken.changed || page.Replaced();
  }
  std::erase_if(pages, [](const Taken& t) { return !t.changed; });
  return pages;
}

std::optional<JournalRun> LastRun(FileSystem& fs, Status* failure) {
  std::optional<JournalRun> run;
  *failure = FindLastUndoableRun(fs, &run);
  return failure->ok() ? run : std::nullopt;
}

UndoResult Fail(Form& form, const Text& message, Status why) {
  form.SetLabel3(message);
  return {false, std::move(why)};
}

}  // namespace

std::optional<UndoCandidate> FindUndoCandidate(FileSystem& fs) {
  Status failure;
  const std::optional<JournalRun> run = LastRun(fs, &failure);
  if (!run) return std::nullopt;
  return UndoCandidate{run->number, run->time, PagesOf(*run, fs).size()};
}

namespace {

enum class Outcome { kBack, kSkipped, kFailed };

// One undo: each page of the run either comes back, is skipped for a stated reason, or fails
// (which stops the undo); then the commit.
class Undo {
 public:
  Undo(Form& form, FileSystem& fs, bool dry_run, uint64_t run)
      : form_(form),
        fs_(fs),
        dry_run_(dry_run),
        batch_(fs),
        journal_(fs, JournalTime(), run),
        scope_(fs),
        run_(run) {}

  // false when the page failed: *failure says why.
  bool Page(const Taken& page, Status* failure) {
    const Outcome outcome = Take(page, failure);
    (outcome == Outcome::kBack ? back_ : skipped_) += outcome != Outcome::kFailed;
    return outcome != Outcome::kFailed;
  }

  UndoResult Finish() {
    if (!dry_run_) {
      if (std::optional<UndoResult> failed = Commit()) return *failed;
    }
    if (back_ == 0) {
      form_.SetLabel3(msg::RunNotUndone(run_, dry_run_));
      return {};
    }
    form_.SetLabel3(msg::RunUndone(run_, dry_run_));
    return {skipped_ == 0, {}};
  }

 private:
  Outcome Take(const Taken& page, Status* failure);
  Outcome TakeRemoval(const Taken& page);
  Outcome Restore(const Taken& page, const std::string& bytes, const FileInfo& info,
                  Status* failure);
  std::optional<UndoResult> Commit();

  Form& form_;
  FileSystem& fs_;
  const bool dry_run_;
  PageBatch batch_;
  JournalWriter journal_;
  JournalScope scope_;
  const uint64_t run_;
  Files files_;
  size_t back_ = 0, skipped_ = 0;
};

// A page outside the site, changed since the run, or whose backup is gone or changed is
// skipped; one that already holds its backup's bytes (a retry) counts as back.
Outcome Undo::Take(const Taken& page, Status* failure) {
  if (!scope_.Allows({page.path, page.backup, 0, {}, {}, page.created})) {
    form_.SetLabel3(msg::OutsideSite(page.path));
    return Outcome::kSkipped;
  }
  if (page.removed) return TakeRemoval(page);
  std::string bytes;
  FileInfo info;
  const Status read = fs_.ReadPage(page.path, &bytes, &info);
  const uint64_t hash = read ? JournalHash(bytes) : 0;
  if ((read && !page.created && hash == page.before && hash != page.after) ||
      (page.created && read.code() == Code::kNotFound)) {
    form_.SetLabel3(msg::AlreadyBack(page.path));
    return Outcome::kBack;
  }
  if (!read || hash != page.after) {
    form_.SetLabel3(msg::ChangedSinceRun(page.path));
    return Outcome::kSkipped;
  }
  if (page.created) {
    form_.SetLabel3(msg::CreatedFileRemoved(page.path, dry_run_));
    files_.made.push_back(page.path);
    return Outcome::kBack;
  }
  return Restore(page, bytes, info, failure);
}

// A file the run removed comes back from its backup, unless a file of that name is there
// again (its backup's bytes: a retry, done) or the backup changed.
Outcome Undo::TakeRemoval(const Taken& page) {
  std::string now;
  if (Status read = fs_.ReadFile(page.path, &now); read.code() != Code::kNotFound) {
    const bool back = read && JournalHash(now) == page.before;
    form_.SetLabel3(back ? msg::AlreadyBack(page.path) : msg::ChangedSinceRun(page.path));
    return back ? Outcome::kBack : Outcome::kSkipped;
  }
  Remade remade{page.path, {}};
  FileInfo info;
  if (!fs_.ReadPage(page.backup, &remade.bytes, &info) ||
      JournalHash(remade.bytes) != page.before) {
    form_.SetLabel3(msg::BackupMissing(page.path));
    return Outcome::kSkipped;
  }
  form_.SetLabel3(msg::PageRestored(page.path, dry_run_));
  remade.mode = info.facts.mode & 0666;
  journal_.Add({page.path, {}, 0, JournalHash(remade.bytes), {}, true});
  files_.remade.push_back(std::move(remade));
  return Outcome::kBack;
}

// What the page holds now is backed up first, as a run does; then the backup's bytes join
// the batch.
Outcome Undo::Restore(const Taken& page, const std::string& bytes, const FileInfo& info,
                      Status* failure) {
  std::string backed_up;
  if (!fs_.ReadFile(page.backup, &backed_up) || JournalHash(backed_up) != page.before) {
    form_.SetLabel3(msg::BackupMissing(page.path));
    return Outcome::kSkipped;
  }
  form_.SetLabel3(msg::PageRestored(page.path, dry_run_));
  if (dry_run_) return Outcome::kBack;
  // The backup's bytes go to a new file, so the backup stays; the page's old file can become
  // its own backup by link, as in a run.
  FileInfo counted = info;
  OwnBackupLinks own(fs_);
  own.Count(page.path, &counted);
  std::string backup;
  Status saved = FindFreeBackupName(fs_, page.path, &backup);
  bool backup_failed = !saved;
  if (saved) {
    saved = batch_.Add(page.path, counted, bytes, backed_up, backup, own.names(), &backup_failed);
  }
  if (!saved) {
    form_.SetLabel3(backup_failed ? msg::AccessFailed(page.path) : msg::WriteFailed(page.path));
    *failure = std::move(saved);
    return Outcome::kFailed;
  }
  JournalPage entry{page.path, backup, JournalHash(bytes), JournalHash(backed_up), {}};
  for (const std::string& part : GeneratedParts(backed_up)) {
    entry.blocks.push_back(JournalHash(part));
  }
  journal_.Add(entry);
  return Outcome::kBack;
}

// The undo's lines reach the journal before any page is replaced; after the commit, which
// files were written. A commit that fails marks the undo incomplete, so that the next undo
// takes the same run back.
std::optional<UndoResult> Undo::Commit() {
  Status written = journal_.Open();
  if (written) written = journal_.Write();
  if (!written) return Fail(form_, msg::AccessFailed(kJournalFile), std::move(written));
  const bool had_pages = !batch_.empty();
  std::string failed;
  Status committed = CommitJournaled(batch_, journal_, &failed);
  Text message = msg::WriteFailed(failed);
  for (size_t i = 0; committed && i < files_.made.size(); ++i) {
    committed = fs_.RemoveFile(files_.made[i]);
    message = msg::DeleteFailed(files_.made[i]);
  }
  for (size_t i = 0; committed && i < files_.remade.size(); ++i) {
    const Remade& file = files_.remade[i];
    committed = fs_.CreateFile(file.path, file.bytes, file.mode);
    message = msg::WriteFailed(file.path);
  }
  if (!committed) {
    (void)journal_.MarkIncomplete();
    return Fail(form_, message, std::move(committed));
  }
  if (!had_pages || !files_.made.empty() || !files_.remade.empty()) (void)fs_.Flush();
  return std::nullopt;
}

}  // namespace

UndoResult UndoLastRun(Form& form, FileSystem& fs, bool dry_run, bool lock_held) {
  RunLock lock(fs);
  if (!dry_run && !lock_held) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return Fail(form, msg::AccessFailed("."), std::move(locked));
    }
  }
  Status failure;
  const std::optional<JournalRun> run = LastRun(fs, &failure);
  if (!failure.ok()) return Fail(form, msg::ReadFailed(kJournalFile), std::move(failure));
  if (!run) {
    form.SetLabel3(msg::NoRunToUndo());
    return {};
  }
  Undo undo(form, fs, dry_run, run->number);
  for (const Taken& page : PagesOf(*run, fs)) {
    if (!undo.Page(page, &failure)) return {false, std::move(failure)};
  }
  return undo.Finish();
}

}  // namespace splicery
