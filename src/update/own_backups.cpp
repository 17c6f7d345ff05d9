// SPDX-License-Identifier: GPL-3.0-or-later
// Counting a page's own backups among its file's names.
#include "update/own_backups.h"

#include <algorithm>

#include "update/backup_name.h"

namespace splicery {

void OwnBackupLinks::Count(const std::string& page, FileInfo* info) {
  WriteFacts& facts = info->facts;
  facts.own_backup_links = 0;
  names_.clear();
  if (facts.links <= 1) return;
  const std::optional<std::string> first = BackupName(page, 1);
  if (!first) return;
  const std::string folder = first->substr(0, first->rfind('/'));
  auto it = listed_.find(folder);
  if (it == listed_.end()) {
    it = listed_.emplace(folder, std::vector<FolderEntry>()).first;
    if (!fs_.ListFolder(folder, &it->second)) it->second.clear();  // no backups there
  }
  for (const FolderEntry& entry : it->second) {
    std::string name = folder + "/" + entry.name;
    if (!entry.regular || entry.key != info->key || BackupNumber(page, name) == 0) continue;
    // The listing is the run's first look: a name parted from the page since is not counted.
    if (FileId now; fs_.Identify(name, &now) && now.key == info->key) {
      names_.push_back(std::move(name));
    }
  }
  facts.own_backup_links = std::min<uint64_t>(names_.size(), facts.links - 1);
}

Status BackUpByCopy(FileSystem& fs, const FileInfo& info, std::string_view bytes,
                    const std::string& backup, const std::vector<std::string>& own) {
  const uint32_t mode = info.facts.mode & 0666;
  Status saved = fs.CopyFile(info, backup, bytes, mode);
  for (size_t i = 0; saved && i < own.size(); ++i) {
    if (fs.RemoveFile(own[i])) (void)fs.CreateFile(own[i], bytes, mode);
  }
  return saved;
}

}  // namespace splicery
