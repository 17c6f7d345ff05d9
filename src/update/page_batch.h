// SPDX-License-Identifier: GPL-3.0-or-later
// The pages of an update run waiting to be put in place, committed in the order that makes a
// power cut lose nothing: every backup and new file durable, then the pages replaced, then
// durable again. Two barriers per batch, however many pages it holds.
// A page replaced by rename does not need its old file under its name any more: that file
// becomes its backup by a link, and no copy is written. Until the rename, page and backup are
// one file, so the batch keeps the bytes read; a page that is not renamed after all gets its
// backup back as a copy of them.
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

  // The same, making the backup at the free name `backup` first: by link where the page is to
  // be renamed, else as a copy of `old_bytes` (the bytes read as `info`) by BackUpByCopy,
  // which parts the page from its own backups `own` too. A refused page is still backed up.
  // A failed backup stops first: *backup_failed is then true, the failure names the backup
  // and the page is not taken.
  Status Add(const std::string& page, const FileInfo& info, std::string_view old_bytes,
             std::string_view new_bytes, const std::string& backup,
             const std::vector<std::string>& own, bool* backup_failed);

  // The same for a caller that hands over the buffer of `old_bytes` by Hold right after
  // (before any other call), instead of the batch copying them.
  Status AddHeldLater(const std::string& page, const FileInfo& info, std::string_view old_bytes,
                      std::string_view new_bytes, const std::string& backup,
                      const std::vector<std::string>& own, bool* backup_failed);
  // Takes *bytes (the bytes read of the page AddHeldLater took last) where the batch needs
  // them; *bytes is then a spare buffer of unspecified content.
  void Hold(std::string* bytes);

  // Gives up the page added last (its new file removed, its backup a copy of its own).
  void DropLast();

  bool empty() const { return entries_.empty(); }

  // Whether to commit before taking more (the bytes of pages written in place wait in memory).
  bool Full() const { return in_place_bytes_ >= kMaxInPlaceBytes || held_bytes_ >= kMaxHeldBytes; }

  // Puts the pages in place in the order they were added. On failure *failed is the page it
  // stopped at; that page and the ones after it keep their old bytes. *outcomes gets each
  // page with whether it was written.
  Status Commit(std::string* failed, std::vector<std::pair<std::string, bool>>* outcomes = nullptr);

 private:
  static constexpr size_t kMaxInPlaceBytes = size_t{64} << 20;
  // The bytes read of linked pages: memory, against two barriers per batch.
  static constexpr size_t kMaxHeldBytes = size_t{8} << 20;
  struct Entry {
    std::string page;
    FileInfo info;
    std::string temp;  // the new file; empty: write `bytes` in place
    std::string bytes;
    std::string backup;  // a backup made by link: its name, and the bytes read
    std::string held;
    size_t held_size = 0;
    bool hold_pending = false;  // `held` comes by Hold
  };
  // The new bytes of entry->info's file: a new file beside it, or kept to write in place.
  Status Write(std::string_view bytes, Entry* entry);
  Status Add(const std::string& page, const FileInfo& info, std::string_view old_bytes,
             std::string_view new_bytes, const std::string& backup,
             const std::vector<std::string>& own, bool held_later, bool* backup_failed);
  Status LinkOrCopy(std::string_view old_bytes, const std::string& backup, bool held_later,
                    Entry* entry);
  // A buffer given back, so that held bytes need no new memory.
  std::string Spare();
  void Release(Entry& entry);
  Status Copy(const FileInfo& info, std::string_view old_bytes, const std::string& backup);
  void Take(Entry entry);
  // A linked page that is not renamed: its backup becomes a file of its own again.
  void Unshare(const Entry& entry);
  void Abandon(size_t from);

  FileSystem& fs_;
  std::vector<Entry> entries_;
  std::set<FileKey> files_;  // every entry's file
  size_t in_place_bytes_ = 0;
  size_t held_bytes_ = 0;
  std::vector<std::string> spare_;
};

// Before the first batch of a run: the temporary files killed runs left beside `pages` go,
// and the backup folder is made. Returns how the making went (an existing folder included).
Status PrepareFolders(FileSystem& fs, const std::vector<std::string>& pages);

// Commits the batch, then journals whether each of its pages was written. Where these lines
// are missing, readers compare hashes: their failure stops nothing.
Status CommitJournaled(PageBatch& batch, JournalWriter& journal, std::string* failed);

}  // namespace splicery
