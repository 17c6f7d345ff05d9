// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of the newest run, from the journal.
#include "history/undo.h"

#include <map>
#include <variant>
#include <vector>

#include "rewrite/page_rewrite.h"
#include "update/backup_name.h"
#include "update/page_batch.h"
#include "update/run_lock.h"

namespace splicery {
namespace {

// What the run did to one page: the backup of its first visit, the hash it wrote last.
struct Taken {
  std::string path;
  std::string backup;
  uint64_t before = 0;  // the hash of what the backup holds
  uint64_t after = 0;   // the hash the page held when the run was done with it
  bool changed = false;
};

// Grouped by file, so that one file listed under two names (./a.htm, a link) goes back to the
// backup of its first visit too.
std::vector<Taken> PagesOf(const JournalRun& run, FileSystem& fs) {
  std::vector<Taken> pages;
  // A file that is gone now is told by its name.
  std::map<std::variant<FileKey, std::string>, size_t> index;
  for (const JournalPage& page : run.pages) {
    FileId id;
    std::variant<FileKey, std::string> file = page.path;
    if (fs.Identify(page.path, &id)) file = id.key;
    auto [it, first] = index.try_emplace(file, pages.size());
    if (first) pages.push_back({page.path, page.backup, page.old_hash, 0, false});
    Taken& taken = pages[it->second];
    taken.after = page.new_hash.value_or(page.old_hash);
    taken.changed = taken.changed || page.new_hash.has_value();
  }
  std::erase_if(pages, [](const Taken& t) { return !t.changed; });
  return pages;
}

std::optional<JournalRun> LastRun(FileSystem& fs, Status* failure) {
  std::string bytes;
  Status read = fs.ReadFile(kJournalFile, &bytes);
  if (!read && read.error() != ENOENT) *failure = read;
  if (Status known = CheckJournal(bytes); !known) *failure = known;
  if (!failure->ok()) return std::nullopt;
  const std::vector<JournalRun> runs = ParseJournal(bytes);
  const JournalRun* run = LastUndoableRun(runs);
  return run ? std::optional<JournalRun>(*run) : std::nullopt;
}

UndoResult Fail(Form& form, const Text& message, Status why) {
  form.SetLabel3(message);
  return {false, std::move(why)};
}

}  // namespace

std::optional<UndoCandidate> FindUndoCandidate(FileSystem& fs) {
  Status failure;
  const std::optional<JournalRun> run = LastRun(fs, &failure);
  if (!run) return std::nullopt;
  return UndoCandidate{run->number, run->time, PagesOf(*run, fs).size()};
}

UndoResult UndoLastRun(Form& form, FileSystem& fs, bool dry_run) {
  RunLock lock(fs);
  if (!dry_run) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return Fail(form, msg::AccessFailed("."), std::move(locked));
    }
  }
  Status failure;
  const std::optional<JournalRun> run = LastRun(fs, &failure);
  if (!failure.ok()) {
    return Fail(form, msg::ReadFailed(kJournalFile), std::move(failure));
  }
  if (!run) {
    form.SetLabel3(msg::NoRunToUndo());
    return {};
  }

  JournalWriter journal(fs, JournalTime(), run->number);
  PageBatch batch(fs);
  bool complete = true;
  std::string bytes, backed_up;
  FileInfo info;
  for (const Taken& page : PagesOf(*run, fs)) {
    if (!fs.ReadPage(page.path, &bytes, &info) || JournalHash(bytes) != page.after) {
      form.SetLabel3(msg::ChangedSinceRun(page.path));
      complete = false;
      continue;
    }
    if (!fs.ReadFile(page.backup, &backed_up) || JournalHash(backed_up) != page.before) {
      form.SetLabel3(msg::BackupMissing(page.path));
      complete = false;
      continue;
    }
    form.SetLabel3(msg::PageRestored(page.path, dry_run));
    if (dry_run) continue;
    // What the page holds now is backed up first, as a run does.
    std::string backup;
    Status saved = FindFreeBackupName(fs, page.path, &backup);
    if (saved) saved = fs.CreateFile(backup, bytes, info.facts.mode & 0666);
    if (!saved) return Fail(form, msg::AccessFailed(page.path), std::move(saved));
    if (Status added = batch.Add(page.path, info, backed_up); !added) {
      return Fail(form, msg::WriteFailed(page.path), std::move(added));
    }
    JournalPage entry{page.path, backup, JournalHash(bytes), JournalHash(backed_up), {}};
    for (const std::string& part : GeneratedParts(backed_up)) {
      entry.blocks.push_back(JournalHash(part));
    }
    journal.Add(entry);
  }
  if (dry_run) {
    form.SetLabel3(msg::RunUndone(run->number, true));
    return {complete, {}};
  }
  // The run counts as undone even where pages stayed; the journal says so before any page
  // is replaced, and only once nothing can stop the undo short of the commit itself.
  Status written = journal.Open();
  if (written) written = journal.Write();
  if (!written) {
    return Fail(form, msg::AccessFailed(kJournalFile), std::move(written));
  }
  const bool had_pages = !batch.empty();
  std::string failed;
  if (Status committed = batch.Commit(&failed); !committed) {
    return Fail(form, msg::WriteFailed(failed), std::move(committed));
  }
  if (!had_pages) (void)fs.Flush();
  form.SetLabel3(msg::RunUndone(run->number, false));
  return {complete, {}};
}

}  // namespace splicery
