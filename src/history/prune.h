// SPDX-License-Identifier: GPL-3.0-or-later
// Which backups to delete so that every listed page keeps its N newest. Newest follows the
// journal; backups it does not know (from before it existed) are older than every journaled
// one and ordered among themselves by modification time. Files are told apart by what they
// are, not by how they are named: one file reached under two names is one backup.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/form.h"
#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

using Identify = std::function<std::optional<FileKey>(const std::string& name)>;

// A file found beside a page's backups: its name as the backup name would spell it
// ("splicery.sic/" + page + ". N.htm" for a backup), the file it is and its modification time.
struct BackupFile {
  std::string name;
  FileKey key;
  int64_t mtime_ns = 0;
};

struct PrunePlan {
  std::vector<std::string> remove;  // in the order they are to be deleted
  size_t kept = 0;
};

// For every page of `pages`, keeps the `keep` newest of its backups among `files`, and never
// deletes: a backup the newest run that is not undone made, a listed page itself, or a backup
// the journal does not know that is no older than the start of its newest run (`newest_run_ns`:
// the journal may have lost that run's last line). `identify` tells the file behind a name.
PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const std::vector<JournalRun>& runs, size_t keep, const Identify& identify,
                    int64_t newest_run_ns);

struct PruneResult {
  bool ok = true;  // every backup to go is gone
  Status failure;  // why it stopped, when it did
};

// Plans from include.txt, the journal and the backup folders, then deletes, with a text per
// backup and a count at the end in Label3. With `dry_run` it only says what it would delete.
PruneResult PruneBackups(Form& form, FileSystem& fs, size_t keep, bool dry_run);

}  // namespace splicery
