// Pruning backups: ranking a page's backups, newest first.
#include "update/prune.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "update/backup_name.h"

namespace splicery {

uint64_t BackupNumber(std::string_view page, std::string_view file) {
  const std::string prefix = std::string(kBackupFolder) + "/" + std::string(page) + ". ";
  if (!file.starts_with(prefix) || !file.ends_with(".htm")) return 0;
  const std::string_view digits = file.substr(prefix.size(), file.size() - prefix.size() - 4);
  if (digits.empty() || digits[0] == '0') return 0;
  uint64_t number = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const std::vector<JournalRun>& runs, size_t keep) {
  // The journal's order: a later record of the same name (a number used again) wins.
  std::map<std::string_view, size_t> journal_rank;
  size_t rank = 0;
  for (const JournalRun& run : runs) {
    for (const JournalPage& page : run.pages) journal_rank[page.backup] = ++rank;
  }
  std::set<std::string_view> protect;
  std::set<uint64_t> undone;
  for (const JournalRun& run : runs) {
    if (run.undoes) undone.insert(*run.undoes);
  }
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (undone.count(it->number)) continue;
    for (const JournalPage& page : it->pages) protect.insert(page.backup);
    break;
  }

  PrunePlan plan;
  std::set<std::string_view> done;
  for (const std::string& page : pages) {
    if (!done.insert(page).second) continue;
    std::vector<const BackupFile*> mine;
    for (const BackupFile& file : files) {
      if (BackupNumber(page, file.name) != 0) mine.push_back(&file);
    }
    // Newest first: journaled by their place in the journal, then the others by time.
    std::stable_sort(mine.begin(), mine.end(), [&](const BackupFile* a, const BackupFile* b) {
      const auto ra = journal_rank.find(a->name), rb = journal_rank.find(b->name);
      const size_t ka = ra == journal_rank.end() ? 0 : ra->second;
      const size_t kb = rb == journal_rank.end() ? 0 : rb->second;
      if (ka != kb) return ka > kb;
      return a->mtime_ns > b->mtime_ns;
    });
    for (size_t i = 0; i < mine.size(); ++i) {
      if (i < keep || protect.count(mine[i]->name)) {
        ++plan.kept;
      } else {
        plan.remove.push_back(mine[i]->name);
      }
    }
  }
  return plan;
}

}  // namespace splicery
