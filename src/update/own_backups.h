// SPDX-License-Identifier: GPL-3.0-or-later
// A page's own backups among its file's names. A run makes a changed page's backup by giving
// the old file the backup's name and then renaming the new file over the page; a run killed
// in between leaves page and backup as one file. Those names are no reason to write the page
// in place (which would change the backup too): the write policy does not count them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace splicery {

class OwnBackupLinks {
 public:
  explicit OwnBackupLinks(FileSystem& fs) : fs_(fs) {}

  // Sets info->facts.own_backup_links for `page` (as listed), read as *info. Looks only at a
  // file with more than one name, and lists each backup folder once.
  void Count(const std::string& page, FileInfo* info);
  // The backup names the last Count found.
  const std::vector<std::string>& names() const { return names_; }

 private:
  FileSystem& fs_;
  std::map<std::string, std::vector<FolderEntry>> listed_;
  std::vector<std::string> names_;
};

// Where a page is not parted from its own backups by a rename (it does not change, or is
// written in place, or is refused), each of `names` becomes a file of its own holding
// `bytes`, the bytes read of the page.
void UnshareOwnBackups(FileSystem& fs, const std::vector<std::string>& names,
                       std::string_view bytes, uint32_t mode);

}  // namespace splicery
