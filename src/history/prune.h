// SPDX-License-Identifier: GPL-3.0-or-later
// Which backups to delete so that every listed page, and every other file a run writes
// (include.htm, the feed, the sitemap and its parts), keeps its N newest. Newest follows the
// journal; backups it does not know (from before it existed) are older than every journaled
// one and ordered among themselves by change time (a backup made by link keeps the page's
// modification time; the link sets the change time). Files are told apart by what they
// are, not by how they are named: one file reached under two names is one backup.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
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
// ("splicery.sic/" + page + ". N.htm" for a backup), the file it is and its change time.
struct BackupFile {
  std::string name;
  FileKey key;
  int64_t ctime_ns = 0;
};

struct PrunePlan {
  std::vector<std::string> remove;  // in the order they are to be deleted
  size_t kept = 0;
};

// What the journal tells prune, gathered run by run, oldest first, so that memory grows with
// the backups found and not with the journal.
class PruneFacts {
 public:
  // `found` names the file a backup name leads to among the backups found, or none.
  explicit PruneFacts(Identify found) : found_(std::move(found)) {}
  void Add(const JournalRun& run);
  // Each backup's place in the journal (a later record of the same file wins).
  std::optional<size_t> Rank(const FileKey& key) const;
  // The backups never to delete: those of the newest run that is not undone, and those of the
  // run an undo would take back next.
  std::set<FileKey> Keep() const;

 private:
  struct RunSummary {
    uint64_t number = 0;
    std::optional<uint64_t> undoes;
    bool incomplete = false, replaced = false;
  };
  Identify found_;
  std::vector<RunSummary> runs_;
  std::map<FileKey, std::pair<size_t, uint64_t>> seen_;  // rank and run of each found backup
  size_t rank_ = 0;
};

// For every file of `pages` (a page or another file a run writes), keeps the `keep` newest of
// its backups among `files`, and never deletes a backup `facts` keeps, one of those files
// itself, or a backup the journal does not know that is no older than the start of its newest
// run (`newest_run_ns`: the journal may have lost that run's last line). `identify` tells the
// file behind a page's name.
PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const PruneFacts& facts, size_t keep, const Identify& identify,
                    int64_t newest_run_ns);

// The same from runs in memory, `identify` telling the file behind any name.
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
