// SPDX-License-Identifier: GPL-3.0-or-later
// Which backups to delete so that every listed page keeps its N newest. Newest follows the
// journal; backups it does not know (from before it existed) are older than every journaled
// one and ordered among themselves by modification time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/form.h"
#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

// A file found beside a page's backups: its name as the backup name would spell it
// ("splicery.sic/" + page + ". N.htm" for a backup) and its modification time.
struct BackupFile {
  std::string name;
  int64_t mtime_ns = 0;
};

// The number N when `file` is `page`'s backup name exactly as a run writes it (no leading
// zeros, N >= 1); 0 otherwise.
uint64_t BackupNumber(std::string_view page, std::string_view file);

struct PrunePlan {
  std::vector<std::string> remove;  // in the order they are to be deleted
  size_t kept = 0;
};

// For every page of `pages` (duplicates count once), keeps the `keep` newest of its backups
// among `files` and never the one the newest run that is not undone made of it.
PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const std::vector<JournalRun>& runs, size_t keep);

struct PruneResult {
  bool ok = true;  // every backup to go is gone
  Status failure;  // why it stopped, when it did
};

// Plans from include.txt, the journal and the backup folders, then deletes, with a text per
// backup and a count at the end in Label3. With `dry_run` it only says what it would delete.
PruneResult PruneBackups(Form& form, FileSystem& fs, size_t keep, bool dry_run);

}  // namespace splicery
