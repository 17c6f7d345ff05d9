// Update run driver.
#include "update/update_run.h"

#include <optional>
#include <set>

#include "files/lines.h"
#include "update/backup_name.h"
#include "update/block_rewriter.h"
#include "update/page_batch.h"
#include "update/page_rewrite.h"

namespace splicery {
namespace {

RunResult Stop(Form& form, RunOutcome outcome, std::string message, Status why) {
  form.SetLabel3(message);
  return RunResult{outcome, 0, std::move(why)};
}

// Holds the site folder's lock for the run's length.
struct FolderLock {
  FileSystem* fs = nullptr;
  ~FolderLock() {
    if (fs) fs->UnlockFolder();
  }
};

std::string FolderOf(const std::string& page) {
  const size_t slash = page.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : page.substr(0, slash);
}

}  // namespace

RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode) {
  const bool write = mode == RunMode::kWrite;
  form.Command1Enabled = false;
  FolderLock lock;
  if (write) {
    // One run at a time: two would race for backup names and for the pages.
    Status locked = fs.LockFolder(".", [&form] {
      form.SetLabel3("Warte auf einen anderen Lauf in diesem Ordner ...");
    });
    if (!locked) {
      return Stop(form, RunOutcome::kAccessFailure, "FEHLER beim Zugriff auf .",
                  std::move(locked));
    }
    lock.fs = &fs;
    std::set<std::string> folders = {"."};
    for (const std::string& page : form.List1) folders.insert(FolderOf(page));
    for (const std::string& folder : folders) fs.RemoveLeftovers(folder);
    fs.MakeDirectory(kBackupFolder);  // an existing folder is no failure
  }

  BlockRewriter blocks(form.List2, form.List5);
  std::function<void(std::string_view)> show_line;
  if (write) show_line = [&form](std::string_view text) {
    form.SetLabel4(text, TextKind::kPageLine);
  };

  // Pages are put in place in batches; a stop first commits the pages before it, so they
  // are rewritten and the later ones untouched.
  PageBatch batch(fs);
  const auto commit = [&]() -> std::optional<RunResult> {
    std::string failed;
    if (Status committed = batch.Commit(&failed); !committed) {
      return Stop(form, RunOutcome::kWriteFailure, "FEHLER beim Schreiben von " + failed,
                  std::move(committed));
    }
    return std::nullopt;
  };
  const auto stop = [&](RunOutcome outcome, std::string message, Status why) {
    if (std::optional<RunResult> stopped = commit()) return *stopped;
    return Stop(form, outcome, std::move(message), std::move(why));
  };

  RunResult result;
  std::string bytes;  // reused, so a large page is not faulted in anew for every page
  FileInfo info;
  const size_t count = form.List1.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& page = form.List1[i];
    if (write) form.SetLabel3("Datei " + page + " wird bearbeitet");
    form.List4.clear();
    form.List3.Clear();

    // The page is read once, and its backup copy made from exactly those bytes: the marker
    // check and the rewrite work on what was backed up.
    Status read;
    if (write) {
      read = fs.ReadPage(page, &bytes, &info);
      if (read && batch.Holds(info)) {
        // Reached before in this batch: it must see that rewrite.
        if (std::optional<RunResult> stopped = commit()) return *stopped;
        read = fs.ReadPage(page, &bytes, &info);
      }
      std::string backup;
      if (read) read = FindFreeBackupName(fs, page, &backup);
      if (read) read = fs.CreateFile(backup, bytes, info.mode & 0666);
    } else {
      read = fs.ReadFile(page, &bytes);
    }
    if (!read) {
      return stop(RunOutcome::kAccessFailure, "FEHLER beim Zugriff auf " + page, std::move(read));
    }
    if (const size_t open_line = OpenStartLine(bytes); open_line != 0) {
      return stop(RunOutcome::kMarkerFailure, "FEHLER: INCLUDE START/END paßt nicht in " + page,
                  Status::Failure(page + ":" + std::to_string(open_line),
                                  "INCLUDE START ohne INCLUDE END"));
    }
    RewritePage(bytes, blocks, form.List3, form.List4, show_line);

    const std::string& new_bytes = form.List3.bytes();
    if (!write) {
      if (new_bytes != bytes) {
        ++result.stale_pages;
        form.SetLabel3("Datei " + page + " ist nicht aktuell");
      }
      continue;
    }
    form.SetLabel3("Datei " + page + " wird geschrieben");
    // Unchanged bytes are not written, so the page keeps its modification time.
    if (new_bytes != bytes) {
      if (Status added = batch.Add(page, info, new_bytes); !added) {
        return stop(RunOutcome::kWriteFailure, "FEHLER beim Schreiben von " + page,
                    std::move(added));
      }
      if (batch.Full()) {
        if (std::optional<RunResult> stopped = commit()) return *stopped;
      }
    }
  }

  if (write) {
    if (std::optional<RunResult> stopped = commit()) return *stopped;
    form.SetLabel3("INCLUDE wurde erfolgreich durchgeführt");
    form.SetLabel4("");
  } else if (result.stale_pages == 0) {
    form.SetLabel3("Alle Dateien sind aktuell");
  }
  return result;
}

}  // namespace splicery
