// SPDX-License-Identifier: GPL-3.0-or-later
// Backup copies: "splicery.sic/" + page + ". N.htm", N the lowest free number from 1 up.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "files/file_system.h"

namespace splicery {

inline constexpr const char* kBackupFolder = "splicery.sic";

// The backup name of `page` with number `number`; none for a page path whose backup would
// land outside the backup folder (its ".." parts, resolved as written, climb out of it).
std::optional<std::string> BackupName(std::string_view page, size_t number);

// The backup name with the lowest number that no regular file holds yet, into *name. Fails
// when the page has no backup name or a name test fails.
Status FindFreeBackupName(FileSystem& fs, std::string_view page, std::string* name);

// The run's search: each backup folder is listed once, and only a name found there is tested
// as FindFreeBackupName tests it, so that most pages need no test of their own. A name given
// out counts as taken from then on: the run makes it before it asks again.
class BackupNames {
 public:
  explicit BackupNames(FileSystem& fs) : fs_(fs) {}
  BackupNames(const BackupNames&) = delete;  // it points into its own maps
  BackupNames& operator=(const BackupNames&) = delete;
  Status Find(std::string_view page, std::string* name);
  // Whether the last name found was free by the listing alone, untested: one that is taken
  // after all is the listing's fault, not the search's answer.
  bool LastUntested() const { return untested_; }

 private:
  // A folder's names, each with whether it is known to be a regular file; none where the
  // folder could not be listed (every name is then tested). One for each folder, however it
  // is spelt ("splicery.sic", "splicery.sic/."), so that a name given under one spelling is
  // taken under every other.
  using Listing = std::optional<std::unordered_map<std::string, bool>>;
  Listing& ListingOf(const std::string& folder);

  FileSystem& fs_;
  std::unordered_map<std::string, Listing*> spellings_;
  std::map<FileKey, Listing> folders_;
  std::map<std::string, Listing> missing_;  // folders not there, by spelling
  Listing unlisted_;                        // every folder that could not be looked at
  bool untested_ = false;
};

// The number N when `file` is `page`'s backup name exactly as a run writes it (no leading
// zeros, N >= 1); 0 otherwise.
uint64_t BackupNumber(std::string_view page, std::string_view file);

// What copying a page to the free name `backup` would meet, told without making it.
Status ProbeBackupCopy(FileSystem& fs, const std::string& backup);

// What the backup step of a run would meet for `page`, without making anything.
Status ProbeBackup(FileSystem& fs, std::string_view page);

}  // namespace splicery
