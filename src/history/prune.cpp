// SPDX-License-Identifier: GPL-3.0-or-later
// Pruning backups: ranking a page's backups, newest first.
#include "history/prune.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <map>
#include <set>

#include "scan/config_loader.h"
#include "update/backup_name.h"
#include "update/run_lock.h"

namespace splicery {

PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const std::vector<JournalRun>& runs, size_t keep, const Identify& identify,
                    int64_t newest_run_ns) {
  // The journal's order: a later record of the same file (a number used again) wins.
  std::map<FileKey, size_t> journal_rank;
  size_t rank = 0;
  // A file the run created has no backup.
  for (const JournalRun& run : runs) {
    for (const JournalPage& page : run.pages) {
      if (page.created) continue;
      if (const auto key = identify(page.backup)) journal_rank[*key] = ++rank;
    }
  }
  std::set<FileKey> keep_always;
  const std::set<uint64_t> undone = UndoneRuns(runs);
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (undone.count(it->number)) continue;
    for (const JournalPage& page : it->pages) {
      if (page.created) continue;
      if (const auto key = identify(page.backup)) keep_always.insert(*key);
    }
    break;
  }
  for (const std::string& page : pages) {
    if (const auto key = identify(page)) keep_always.insert(*key);
  }

  PrunePlan plan;
  std::set<FileKey> seen;  // each file counts once, under its first page
  for (const std::string& page : pages) {
    std::vector<const BackupFile*> mine;
    for (const BackupFile& file : files) {
      if (BackupNumber(page, file.name) != 0 && seen.insert(file.key).second) {
        mine.push_back(&file);
      }
    }
    const auto rank_of = [&](const BackupFile* f) {
      auto it = journal_rank.find(f->key);
      return it == journal_rank.end() ? size_t{0} : it->second;
    };
    // Newest first: journaled by their place in the journal, then the others by time.
    std::stable_sort(mine.begin(), mine.end(), [&](const BackupFile* a, const BackupFile* b) {
      if (rank_of(a) != rank_of(b)) return rank_of(a) > rank_of(b);
      return a->ctime_ns > b->ctime_ns;
    });
    for (size_t i = 0; i < mine.size(); ++i) {
      const bool recent_unknown = rank_of(mine[i]) == 0 && mine[i]->ctime_ns >= newest_run_ns;
      if (i < keep || keep_always.count(mine[i]->key) || recent_unknown) {
        ++plan.kept;
      } else {
        plan.remove.push_back(mine[i]->name);
      }
    }
  }
  return plan;
}

PruneResult PruneBackups(Form& form, FileSystem& fs, size_t keep, bool dry_run) {
  const auto fail = [&form](const Text& message, Status why) {
    form.SetLabel3(message);
    return PruneResult{false, std::move(why)};
  };
  RunLock lock(fs);
  if (!dry_run) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return fail(msg::AccessFailed("."), std::move(locked));
    }
  }
  std::vector<std::string> pages;
  if (Status read = ReadPageList(fs, &pages); !read) {
    return fail(msg::ReadFailed(msg::kTargetListShown), std::move(read));
  }
  std::vector<JournalRun> runs;
  if (Status read = ReadJournal(fs, &runs); !read) {
    return fail(msg::ReadFailed(kJournalFile), std::move(read));
  }
  const Identify identify = [&fs](const std::string& name) -> std::optional<FileKey> {
    FileId id;
    if (!fs.Identify(name, &id)) return std::nullopt;
    return id.key;
  };
  const int64_t newest_run_ns =
      runs.empty() ? INT64_MAX : ParseJournalTime(runs.back().time).value_or(INT64_MAX);

  // Each folder a page's backups lie in, listed once, its files named as the backups are.
  std::vector<BackupFile> files;
  std::set<std::string> listed;
  std::vector<FolderEntry> entries;
  for (const std::string& page : pages) {
    const std::optional<std::string> first = BackupName(page, 1);
    if (!first) continue;
    const std::string folder = first->substr(0, first->rfind('/'));
    if (!listed.insert(folder).second) continue;
    if (!fs.ListFolder(folder, &entries)) continue;  // no backups there yet
    for (const FolderEntry& entry : entries) {
      if (entry.regular) {
        files.push_back({folder + "/" + entry.name, entry.key, entry.ctime_ns});
      }
    }
  }
  const PrunePlan plan = PlanPrune(pages, files, runs, keep, identify, newest_run_ns);
  for (const std::string& name : plan.remove) {
    form.SetLabel3(msg::BackupDeleted(name, dry_run));
    if (dry_run) continue;
    if (Status removed = fs.RemoveFile(name); !removed) {
      return fail(msg::DeleteFailed(name), std::move(removed));
    }
  }
  form.SetLabel3(msg::PruneSummary(plan.remove.size(), plan.kept, dry_run));
  return {};
}

}  // namespace splicery
