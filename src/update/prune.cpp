// SPDX-License-Identifier: GPL-3.0-or-later
// Pruning backups: ranking a page's backups, newest first.
#include "update/prune.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <set>

#include "scan/config_loader.h"
#include "update/backup_name.h"
#include "update/run_lock.h"

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

namespace {

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + (n == 1 ? one : many);
}

}  // namespace

PruneResult PruneBackups(Form& form, FileSystem& fs, size_t keep, bool dry_run) {
  const auto fail = [&form](std::string message, Status why) {
    form.SetLabel3(message);
    return PruneResult{false, std::move(why)};
  };
  RunLock lock(fs);
  if (!dry_run) {
    if (Status locked = lock.Take(form); !locked) {
      return fail("FEHLER beim Zugriff auf .", std::move(locked));
    }
  }
  std::vector<std::string> pages;
  if (Status read = ReadPageList(fs, &pages); !read) {
    return fail("FEHLER beim Lesen von INCLUDE.TXT", std::move(read));
  }
  std::string bytes;
  if (Status read = fs.ReadFile(kJournalFile, &bytes); !read && read.error() != ENOENT) {
    return fail(std::string("FEHLER beim Lesen von ") + kJournalFile, std::move(read));
  }
  const std::vector<JournalRun> runs = ParseJournal(bytes);

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
      if (entry.regular) files.push_back({folder + "/" + entry.name, entry.mtime_ns});
    }
  }
  const PrunePlan plan = PlanPrune(pages, files, runs, keep);
  for (const std::string& name : plan.remove) {
    form.SetLabel3("Sicherung " + name + (dry_run ? " würde gelöscht" : " wird gelöscht"));
    if (dry_run) continue;
    if (Status removed = fs.RemoveFile(name); !removed) {
      return fail("FEHLER beim Löschen von " + name, std::move(removed));
    }
  }
  form.SetLabel3(dry_run ? Count(plan.remove.size(), " Sicherung würde", " Sicherungen würden") +
                               " gelöscht, " + std::to_string(plan.kept) + " behalten"
                         : Count(plan.remove.size(), " Sicherung", " Sicherungen") +
                               " gelöscht, " + std::to_string(plan.kept) + " behalten");
  return {};
}

}  // namespace splicery
