// SPDX-License-Identifier: GPL-3.0-or-later
// Update run driver.
#include "update/update_run.h"

#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "text/lines.h"
#include "update/backup_name.h"
#include "update/journal.h"
#include "update/page_batch.h"
#include "update/run_lock.h"

namespace splicery {
namespace {

// The files check mode reaches more than once, with the bytes their last visit would have
// written. Only those files keep their bytes, so memory stays that of one page otherwise.
class Revisits {
 public:
  Revisits(FileSystem& fs, const std::vector<std::string>& pages)
      : ids_(pages.size()), names_(pages) {
    std::map<FileKey, size_t> first;
    for (size_t i = 0; i < pages.size(); ++i) {
      FileId id;
      if (!fs.Identify(pages[i], &id)) continue;  // the read will fail and say why
      if (!id.written_at.empty()) names_[i] = id.written_at;
      auto [it, inserted] = first.try_emplace(id.key, i);
      ids_[i] = it->second;  // the index of the file's first visit
      if (!inserted) bytes_.try_emplace(it->second);
    }
  }
  // The index of page i's first visit; i for a file not reached before.
  size_t First(size_t i) const { return ids_[i].value_or(i); }
  // The name page i's file is written at: a symbolic link's target, so that a patch of it
  // changes what the run changes.
  const std::string& WrittenAt(size_t i) const { return names_[First(i)]; }
  // The simulated bytes of page i's file, or null before the file has been visited.
  const std::string* Bytes(size_t i) const {
    auto it = bytes_.find(First(i));
    return it != bytes_.end() && it->second ? &*it->second : nullptr;
  }
  void Visited(size_t i, std::string_view bytes) {
    if (auto it = bytes_.find(First(i)); it != bytes_.end()) it->second.emplace(bytes);
  }

 private:
  std::vector<std::optional<size_t>> ids_;
  std::vector<std::string> names_;
  std::map<size_t, std::optional<std::string>> bytes_;
};

RunResult Stop(Form& form, RunOutcome outcome, const Text& message, Status why) {
  form.SetLabel3(message);
  return RunResult{outcome, 0, std::move(why)};
}

std::string FolderOf(const std::string& page) {
  const size_t slash = page.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : page.substr(0, slash);
}

}  // namespace

RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode, const ChangeObserver& on_change) {
  const bool write = mode == RunMode::kWrite;
  form.Command1Enabled = false;
  RunLock lock(fs);
  Status made;
  if (write) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return Stop(form, RunOutcome::kAccessFailure, msg::AccessFailed("."), std::move(locked));
    }
    std::set<std::string> folders = {"."};
    for (const std::string& page : form.List1) folders.insert(FolderOf(page));
    for (const std::string& folder : folders) fs.RemoveLeftovers(folder);
    // An existing folder is no failure; any other reason is told if a backup then finds no
    // folder.
    made = fs.MakeDirectory(kBackupFolder);
  }

  BlockRewriter blocks(form.List2, form.List5, &form.Encodings);
  std::function<void(std::string_view)> show_line;
  if (write)
    show_line = [&form](std::string_view text) { form.SetLabel4(text, TextKind::kPageLine); };

  // Pages are put in place in batches; a stop first commits the pages before it, so they
  // are rewritten and the later ones untouched. The journal's lines of a batch go to the disk
  // with it, before any of its pages is replaced.
  PageBatch batch(fs);
  JournalWriter journal(fs, JournalTime());
  const auto commit = [&]() -> std::optional<RunResult> {
    bool wrote = false;
    if (Status journaled = journal.Write(&wrote); !journaled) {
      return Stop(form, RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile),
                  std::move(journaled));
    }
    // A batch without pages makes no barrier of its own; the journal's last lines need one.
    if (wrote && batch.empty()) (void)fs.Flush();
    std::string failed;
    if (Status committed = batch.Commit(&failed); !committed) {
      return Stop(form, RunOutcome::kWriteFailure, msg::WriteFailed(failed), std::move(committed));
    }
    return std::nullopt;
  };
  const auto stop = [&](RunOutcome outcome, const Text& message, Status why) {
    if (std::optional<RunResult> stopped = commit()) return *stopped;
    return Stop(form, outcome, message, std::move(why));
  };

  RunResult result;
  std::string bytes;  // reused, so a large page is not faulted in anew for every page
  std::optional<Revisits> revisits;
  if (!write) revisits.emplace(fs, form.List1);
  std::vector<BlockSpan> spans;
  FileInfo info;
  const size_t count = form.List1.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& page = form.List1[i];
    if (write) form.SetLabel3(msg::PageWorkedOn(page));
    form.List4.clear();
    form.List3.Clear();

    // The page is read once, and its backup copy made from exactly those bytes: the marker
    // check and the rewrite work on what was backed up. The check meets every failure the
    // copy would, in the same order: page, backup name, new copy.
    Status read;
    std::string backup;
    if (write) {
      read = fs.ReadPage(page, &bytes, &info);
      if (read && batch.Holds(info)) {
        // Reached before in this batch: it must see that rewrite.
        if (std::optional<RunResult> stopped = commit()) return *stopped;
        read = fs.ReadPage(page, &bytes, &info);
      }
      if (read) read = FindFreeBackupName(fs, page, &backup);
      if (read) read = fs.CreateFile(backup, bytes, info.mode & 0666);
      if (read.error() == ENOENT && !made && made.error() != EEXIST) read = made;
      // The journal is opened once the first backup exists: a backup folder that cannot be
      // used stops the run at the first page as it always has.
      if (read && !journal.is_open()) {
        if (Status opened = journal.Open(); !opened) {
          return Stop(form, RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile),
                      std::move(opened));
        }
      }
    } else {
      if (const std::string* simulated = revisits->Bytes(i)) {
        bytes = *simulated;
      } else {
        read = fs.ReadFile(page, &bytes);
      }
      if (read) read = FindFreeBackupName(fs, page, &backup);
      if (read) read = ProbeBackupCopy(fs, backup);
    }
    if (!read) {
      return stop(RunOutcome::kAccessFailure, msg::AccessFailed(page), std::move(read));
    }
    if (const size_t open_line = OpenStartLine(bytes); open_line != 0) {
      return stop(RunOutcome::kMarkerFailure, msg::MarkersUnpaired(page),
                  Status::Failure(Code::kStartWithoutEnd, page + ":" + std::to_string(open_line)));
    }
    RewritePage(bytes, blocks, form.List3, form.List4, show_line, &spans);

    const std::string& new_bytes = form.List3.bytes();
    if (!write) {
      if (new_bytes != bytes) {
        if (Status writable = fs.ProbeWrite(page, Intent::kReplace); !writable) {
          return Stop(form, RunOutcome::kWriteFailure, msg::WriteFailed(page), std::move(writable));
        }
        ++result.stale_pages;
        form.SetLabel3(msg::PageStale(page));
        if (on_change) on_change({revisits->WrittenAt(i), bytes, new_bytes, spans});
      }
      revisits->Visited(i, new_bytes);
      continue;
    }
    form.SetLabel3(msg::PageWritten(page));
    JournalPage entry{page, backup, JournalHash(bytes), {}, {}};
    if (new_bytes != bytes) entry.new_hash = JournalHash(new_bytes);
    for (const BlockSpan& span : spans) {
      entry.blocks.push_back(JournalHash(std::string_view(new_bytes).substr(
          span.new_generated, span.new_end - span.new_generated)));
    }
    // Unchanged bytes are not written, so the page keeps its modification time. A page the
    // batch refuses is not journaled: it keeps its bytes. (One the commit then fails to put in
    // place is, as the run stops there; an undo names it as changed and leaves it.)
    if (new_bytes != bytes) {
      if (Status added = batch.Add(page, info, new_bytes); !added) {
        return stop(RunOutcome::kWriteFailure, msg::WriteFailed(page), std::move(added));
      }
    }
    journal.Add(entry);
    if (new_bytes != bytes) {
      if (batch.Full()) {
        if (std::optional<RunResult> stopped = commit()) return *stopped;
      }
    }
  }

  if (write) {
    if (std::optional<RunResult> stopped = commit()) return *stopped;
    form.SetLabel3(msg::RunSucceeded());
    form.SetLabel4("");
  } else if (result.stale_pages == 0) {
    form.SetLabel3(msg::AllCurrent());
  }
  return result;
}

}  // namespace splicery
