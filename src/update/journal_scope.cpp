// SPDX-License-Identifier: GPL-3.0-or-later
// The limits of a journal line.
#include "update/journal_scope.h"

#include "update/backup_name.h"

namespace splicery {

JournalScope::JournalScope(FileSystem& fs) : fs_(fs) {
  if (!fs_.Resolve(".", &site_)) site_.clear();
  if (!fs_.Resolve(kBackupFolder, &backups_)) backups_.clear();
}

bool JournalScope::Allows(const JournalPage& page) {
  if (!Inside(page.path, site_, false)) return false;
  if (page.created) return true;
  // As the run names it: a page whose backup name climbs out of the backup folder has none.
  return BackupName(page.path, 1) && BackupNumber(page.path, page.backup) != 0 &&
         Inside(page.backup, backups_, false);
}

bool JournalScope::InBackupFolder(const std::string& folder) {
  return Inside(folder, backups_, true);
}

bool JournalScope::Inside(const std::string& path, const std::string& root, bool root_too) {
  if (root.empty()) return false;
  std::string real;
  if (Status resolved = fs_.Resolve(path, &real); !resolved) {
    return resolved.code() == Code::kNotFound;
  }
  if (real == root) return root_too;
  return real.size() > root.size() && real.starts_with(root) &&
         (root == "/" || real[root.size()] == '/');
}

}  // namespace splicery
