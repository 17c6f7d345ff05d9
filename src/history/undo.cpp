// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of the newest run, from the journal.
#include "history/undo.h"

#include <map>
#include <variant>
#include <vector>

#include "rewrite/page_rewrite.h"
#include "update/backup_name.h"
#include "update/own_backups.h"
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
  bool created = false;  // the run made the file: undo removes it
  bool removed = false;  // the run removed the file: undo puts its backup back
};

// A file the run removed, to be made again from its backup.
struct Remade {
  std::string path, bytes;
  uint32_t mode = 0644;
};

// What an undo changes besides replacing pages: files removed and made again.
struct Files {
  std::vector<std::string> made;  // files the run created, removed after the journal says so
  std::vector<Remade> remade;     // files the run removed, made after the journal says so
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
    if (first) {
      pages.push_back(
          {page.path, page.backup, page.old_hash, 0, false, page.created, page.removed});
    }
    Taken& taken = pages[it->second];
    taken.after = page.new_hash.value_or(page.old_hash);
    taken.changed = taken.changed || page.new_hash.has_value() || page.removed;
  }
  std::erase_if(pages, [](const Taken& t) { return !t.changed; });
  return pages;
}

std::optional<JournalRun> LastRun(FileSystem& fs, Status* failure) {
  std::vector<JournalRun> runs;
  *failure = ReadJournal(fs, &runs);
  if (!failure->ok()) return std::nullopt;
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

namespace {

// A file the run removed comes back from its backup, unless a file of that name is there
// again or the backup changed (false).
bool UndoRemoval(Form& form, FileSystem& fs, const Taken& page, bool dry_run,
                 JournalWriter& journal, Files* files) {
  Probe found = Probe::kFile;
  if (!fs.ProbeFile(page.path, &found) || found != Probe::kAbsent) {
    form.SetLabel3(msg::ChangedSinceRun(page.path));
    return false;
  }
  Remade remade{page.path, {}};
  FileInfo info;
  if (!fs.ReadPage(page.backup, &remade.bytes, &info) || JournalHash(remade.bytes) != page.before) {
    form.SetLabel3(msg::BackupMissing(page.path));
    return false;
  }
  form.SetLabel3(msg::PageRestored(page.path, dry_run));
  remade.mode = info.facts.mode & 0666;
  journal.Add({page.path, {}, 0, JournalHash(remade.bytes), {}, true});
  files->remade.push_back(std::move(remade));
  return true;
}

// One page of the run: left as it is when it or its backup changed since (false), else its
// current bytes backed up and the backup's bytes taken into the batch; a file the run created
// goes to files->made. A failure stops the undo.
bool UndoPage(Form& form, FileSystem& fs, const Taken& page, bool dry_run, PageBatch& batch,
              JournalWriter& journal, Files* files, Status* failure) {
  if (page.removed) return UndoRemoval(form, fs, page, dry_run, journal, files);
  std::string bytes, backed_up;
  FileInfo info;
  if (!fs.ReadPage(page.path, &bytes, &info) || JournalHash(bytes) != page.after) {
    form.SetLabel3(msg::ChangedSinceRun(page.path));
    return false;
  }
  if (page.created) {
    form.SetLabel3(msg::CreatedFileRemoved(page.path, dry_run));
    files->made.push_back(page.path);
    return true;
  }
  if (!fs.ReadFile(page.backup, &backed_up) || JournalHash(backed_up) != page.before) {
    form.SetLabel3(msg::BackupMissing(page.path));
    return false;
  }
  form.SetLabel3(msg::PageRestored(page.path, dry_run));
  if (dry_run) return true;
  // What the page holds now is backed up first, as a run does; the backup's bytes go to a new
  // file, so the backup stays.
  OwnBackupLinks(fs).Count(page.path, &info);
  std::string backup;
  Status saved = FindFreeBackupName(fs, page.path, &backup);
  bool backup_failed = !saved;
  if (saved) saved = batch.Add(page.path, info, bytes, backed_up, backup, &backup_failed);
  if (!saved) {
    form.SetLabel3(backup_failed ? msg::AccessFailed(page.path) : msg::WriteFailed(page.path));
    *failure = std::move(saved);
    return false;
  }
  JournalPage entry{page.path, backup, JournalHash(bytes), JournalHash(backed_up), {}};
  for (const std::string& part : GeneratedParts(backed_up)) {
    entry.blocks.push_back(JournalHash(part));
  }
  journal.Add(entry);
  return true;
}

// The run counts as undone even where pages stayed; the journal says so before any page is
// replaced, and only once nothing can stop the undo short of the commit itself.
UndoResult Commit(Form& form, FileSystem& fs, uint64_t run, JournalWriter& journal,
                  PageBatch& batch, const Files& files, bool complete) {
  Status written = journal.Open();
  if (written) written = journal.Write();
  if (!written) return Fail(form, msg::AccessFailed(kJournalFile), std::move(written));
  const bool had_pages = !batch.empty();
  std::string failed;
  if (Status committed = batch.Commit(&failed); !committed) {
    return Fail(form, msg::WriteFailed(failed), std::move(committed));
  }
  for (const std::string& path : files.made) {
    if (Status removed = fs.RemoveFile(path); !removed) {
      return Fail(form, msg::DeleteFailed(path), std::move(removed));
    }
  }
  for (const Remade& file : files.remade) {
    if (Status made = fs.CreateFile(file.path, file.bytes, file.mode); !made) {
      return Fail(form, msg::WriteFailed(file.path), std::move(made));
    }
  }
  if (!had_pages || !files.made.empty() || !files.remade.empty()) (void)fs.Flush();
  form.SetLabel3(msg::RunUndone(run, false));
  return {complete, {}};
}

}  // namespace

UndoResult UndoLastRun(Form& form, FileSystem& fs, bool dry_run, bool lock_held) {
  RunLock lock(fs);
  if (!dry_run && !lock_held) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return Fail(form, msg::AccessFailed("."), std::move(locked));
    }
  }
  Status failure;
  const std::optional<JournalRun> run = LastRun(fs, &failure);
  if (!failure.ok()) return Fail(form, msg::ReadFailed(kJournalFile), std::move(failure));
  if (!run) {
    form.SetLabel3(msg::NoRunToUndo());
    return {};
  }
  JournalWriter journal(fs, JournalTime(), run->number);
  PageBatch batch(fs);
  bool complete = true;
  Files files;
  for (const Taken& page : PagesOf(*run, fs)) {
    if (!UndoPage(form, fs, page, dry_run, batch, journal, &files, &failure)) {
      if (!failure.ok()) return {false, std::move(failure)};
      complete = false;
    }
  }
  if (!dry_run) return Commit(form, fs, run->number, journal, batch, files, complete);
  form.SetLabel3(msg::RunUndone(run->number, true));
  return {complete, {}};
}

}  // namespace splicery
