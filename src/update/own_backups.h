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

// The backup of a page that no rename parts from its file (it does not change, or is written
// in place, or is refused): a copy at `backup` of `bytes`, the bytes read as `info`. Its own
// backups (`own`, what Count found) become files of their own holding those bytes too.
Status BackUpByCopy(FileSystem& fs, const FileInfo& info, std::string_view bytes,
                    const std::string& backup, const std::vector<std::string>& own);

}  // namespace splicery
