// SPDX-License-Identifier: GPL-3.0-or-later
// The pages of an update run waiting to be put in place, committed in the order that makes a
// power cut lose nothing: every backup and new file durable, then the pages replaced, then
// durable again. Two barriers per batch, however many pages it holds.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

class PageBatch {
 public:
  explicit PageBatch(FileSystem& fs) : fs_(fs) {}
  ~PageBatch();  // removes the new files of pages that were never put in place
  PageBatch(const PageBatch&) = delete;
  PageBatch& operator=(const PageBatch&) = delete;

  // Whether a page of the batch is this file (a page listed twice, or reached through a link).
  bool Holds(const FileInfo& info) const;

  // Takes `page` (read as `info`) with its new bytes, after its backup copy was made, the way
  // the write policy says. A page the policy refuses, or whose new file cannot be written, is
  // refused; the failure names `page`.
  Status Add(const std::string& page, const FileInfo& info, std::string_view bytes);

  bool empty() const { return entries_.empty(); }

  // Whether to commit before taking more (the bytes of pages written in place wait in memory).
  bool Full() const { return in_place_bytes_ >= kMaxInPlaceBytes; }

  // Puts the pages in place in the order they were added. On failure *failed is the page it
  // stopped at; that page and the ones after it keep their old bytes. *outcomes gets each
  // page with whether it was written.
  Status Commit(std::string* failed, std::vector<std::pair<std::string, bool>>* outcomes = nullptr);

 private:
  static constexpr size_t kMaxInPlaceBytes = size_t{64} << 20;
  struct Entry {
    std::string page;
    FileInfo info;
    std::string temp;  // the new file; empty: write `bytes` in place
    std::string bytes;
  };
  void Abandon(size_t from);

  FileSystem& fs_;
  std::vector<Entry> entries_;
  std::set<FileKey> files_;  // every entry's file
  size_t in_place_bytes_ = 0;
};

// Commits the batch, then journals whether each of its pages was written. Where these lines
// are missing, readers compare hashes: their failure stops nothing.
Status CommitJournaled(PageBatch& batch, JournalWriter& journal, std::string* failed);

}  // namespace splicery
