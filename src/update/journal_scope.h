// SPDX-License-Identifier: GPL-3.0-or-later
// Where a journal line may lead an undo or a prune. The journal is writable by the site's
// whole group, so a line is trusted no further than this: its file lies inside the site
// folder and its backup is that file's own backup name inside the backup folder, each with
// ".." and symbolic links resolved as the kernel resolves them.
#pragma once

#include <string>

#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

class JournalScope {
 public:
  explicit JournalScope(FileSystem& fs);

  // Whether a page (or created) line may be acted on.
  bool Allows(const JournalPage& page);
  // Whether `folder` is the backup folder or lies inside it.
  bool InBackupFolder(const std::string& folder);

 private:
  // Whether `path` resolves to `root` itself (when `root_too`) or a name below it. A name the
  // kernel cannot reach (a folder on the way is missing) leads nowhere and passes.
  bool Inside(const std::string& path, const std::string& root, bool root_too);

  FileSystem& fs_;
  std::string site_, backups_;  // resolved; empty when they could not be
};

}  // namespace splicery
