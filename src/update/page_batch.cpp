// SPDX-License-Identifier: GPL-3.0-or-later
// Batch commit of rewritten pages.
#include "update/page_batch.h"

#include <cerrno>

#include "update/write_policy.h"

namespace splicery {
namespace {

// The same failure, told about the page as listed rather than the file behind it.
Status ForPage(const Status& status, const std::string& page) { return status.About(page); }

}  // namespace

PageBatch::~PageBatch() { Abandon(0); }

bool PageBatch::Holds(const FileInfo& info) const { return files_.count(info.key) != 0; }

Status PageBatch::Add(const std::string& page, const FileInfo& info, std::string_view bytes) {
  const WriteWay way = DecideWrite(info.facts);
  if (way == WriteWay::kRefuse) return Status::FromErrno(EACCES, page);
  Entry entry{page, info, {}, {}};
  if (way != WriteWay::kInPlace) {
    std::erase_if(entry.info.facts.attributes,
                  [](const std::string& name) { return !CarriedAttribute(name); });
    Status written = fs_.WriteTemp(entry.info, bytes, &entry.temp);
    const bool fall_back =
        way == WriteWay::kRenameElseInPlace &&
        (written.code() == Code::kOwnerNotGiven || written.code() == Code::kAttributeNotGiven);
    if (!written && !fall_back) return ForPage(written, page);
  }
  if (entry.temp.empty()) {
    entry.bytes = bytes;
    in_place_bytes_ += bytes.size();
  }
  files_.insert(info.key);
  entries_.push_back(std::move(entry));
  return {};
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
    Abandon(done);
    (void)fs_.Flush();  // the pages already replaced stay so
    return ForPage(status, *failed);
  }
  *failed = entries_.back().page;
  Abandon(done);
  return ForPage(fs_.Flush(), *failed);  // the new names
}

void PageBatch::Abandon(size_t from) {
  for (size_t i = from; i < entries_.size(); ++i) {
    if (!entries_[i].temp.empty()) (void)fs_.RemoveFile(entries_[i].temp);
  }
  entries_.clear();
  files_.clear();
  in_place_bytes_ = 0;
}

Status CommitJournaled(PageBatch& batch, JournalWriter& journal, std::string* failed) {
  std::vector<std::pair<std::string, bool>> outcomes;
  Status committed = batch.Commit(failed, &outcomes);
  if (journal.is_open()) (void)journal.WriteOutcomes(outcomes);
  return committed;
}

}  // namespace splicery
