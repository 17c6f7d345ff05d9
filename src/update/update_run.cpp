// Update run driver.
#include "update/update_run.h"

#include <cerrno>
#include <cstring>

#include "files/lines.h"
#include "update/backup_name.h"
#include "update/block_rewriter.h"
#include "update/page_rewrite.h"

namespace splicery {
namespace {

RunResult Stop(Form& form, RunOutcome outcome, std::string message, Status why) {
  form.SetLabel3(message);
  return RunResult{outcome, 0, std::move(why)};
}

// What making the backup copy would meet, told without making it. The run creates a missing
// backup folder first: a backup right in it is then probed by its name in the site folder,
// where the folder would be made (a backup further down finds no folder, as in the run).
Status ProbeBackup(FileSystem& fs, const std::string& backup) {
  Status probed = fs.ProbeWrite(backup, Intent::kCopyNew);
  const size_t slash = backup.rfind('/');
  if (probed.error() != ENOENT || slash != std::strlen(kBackupFolder)) return probed;
  Status in_site = fs.ProbeWrite(backup.substr(slash + 1), Intent::kCopyNew);
  if (in_site) return in_site;
  if (in_site.error() == ENAMETOOLONG) return Status::FromErrno(ENAMETOOLONG, backup);
  return probed;  // the folder could not be made
}

}  // namespace

RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode) {
  const bool write = mode == RunMode::kWrite;
  form.Command1Enabled = false;
  if (write) fs.MakeDirectory(kBackupFolder);  // an existing folder is no failure

  BlockRewriter blocks(form.List2, form.List5);
  std::function<void(std::string_view)> show_line;
  if (write) show_line = [&form](std::string_view text) {
    form.SetLabel4(text, TextKind::kPageLine);
  };

  RunResult result;
  std::string bytes;  // reused, so a large page is not faulted in anew for every page
  const size_t count = form.List1.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& page = form.List1[i];
    if (write) form.SetLabel3("Datei " + page + " wird bearbeitet");
    form.List4.clear();
    form.List3.Clear();

    // The page is read once, by the backup copy (or, in check mode, by itself): the marker
    // check and the rewrite work on exactly the bytes that were backed up. The check meets
    // every failure the copy would, in the same order: backup name, page, new copy.
    std::string backup;
    Status read = FindFreeBackupName(fs, page, &backup);
    if (read && write) read = fs.CopyNew(page, backup, &bytes);
    if (read && !write) read = fs.ReadFile(page, &bytes);
    if (read && !write) read = ProbeBackup(fs, backup);
    if (!read) {
      return Stop(form, RunOutcome::kAccessFailure, "FEHLER beim Zugriff auf " + page,
                  std::move(read));
    }
    if (const size_t open_line = OpenStartLine(bytes); open_line != 0) {
      return Stop(form, RunOutcome::kMarkerFailure,
                  "FEHLER: INCLUDE START/END paßt nicht in " + page,
                  Status::Failure(page + ":" + std::to_string(open_line),
                                  "INCLUDE START ohne INCLUDE END"));
    }
    RewritePage(bytes, blocks, form.List3, form.List4, show_line);

    const std::string& new_bytes = form.List3.bytes();
    if (!write) {
      if (new_bytes != bytes) {
        if (Status writable = fs.ProbeWrite(page, Intent::kReplace); !writable) {
          return Stop(form, RunOutcome::kWriteFailure, "FEHLER beim Schreiben von " + page,
                      std::move(writable));
        }
        ++result.stale_pages;
        form.SetLabel3("Datei " + page + " ist nicht aktuell");
      }
      continue;
    }
    form.SetLabel3("Datei " + page + " wird geschrieben");
    // Unchanged bytes are not written, so the page keeps its modification time.
    if (new_bytes != bytes) {
      if (Status written = fs.ReplaceFile(page, new_bytes); !written) {
        return Stop(form, RunOutcome::kWriteFailure, "FEHLER beim Schreiben von " + page,
                    std::move(written));
      }
    }
  }

  if (write) {
    form.SetLabel3("INCLUDE wurde erfolgreich durchgeführt");
    form.SetLabel4("");
  } else if (result.stale_pages == 0) {
    form.SetLabel3("Alle Dateien sind aktuell");
  }
  return result;
}

}  // namespace splicery
