// Update run driver.
#include "update/update_run.h"

#include <map>
#include <optional>
#include <utility>

#include "files/lines.h"
#include "update/backup_name.h"
#include "update/block_rewriter.h"
#include "update/page_rewrite.h"

namespace splicery {
namespace {

// The files check mode reaches more than once, with the bytes their last visit would have
// written. Only those files keep their bytes, so memory stays that of one page otherwise.
class Revisits {
 public:
  Revisits(FileSystem& fs, const std::vector<std::string>& pages) : ids_(pages.size()) {
    std::map<std::pair<unsigned long long, unsigned long long>, size_t> first;
    for (size_t i = 0; i < pages.size(); ++i) {
      FileId id;
      if (!fs.Identify(pages[i], &id)) continue;  // the read will fail and say why
      auto [it, inserted] = first.try_emplace({id.device, id.inode}, i);
      ids_[i] = it->second;  // the index of the file's first visit
      if (!inserted) bytes_.try_emplace(it->second);
    }
  }
  // The index of page i's first visit; i for a file not reached before.
  size_t First(size_t i) const { return ids_[i].value_or(i); }
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
  std::map<size_t, std::optional<std::string>> bytes_;
};

RunResult Stop(Form& form, RunOutcome outcome, std::string message, Status why) {
  form.SetLabel3(message);
  return RunResult{outcome, 0, std::move(why)};
}

}  // namespace

RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode, const ChangeObserver& on_change) {
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
  std::optional<Revisits> revisits;
  if (!write) revisits.emplace(fs, form.List1);
  std::vector<BlockSpan> spans;
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
    if (read && write) {
      read = fs.CopyNew(page, backup, &bytes);
    } else if (read) {
      if (const std::string* simulated = revisits->Bytes(i)) {
        bytes = *simulated;
      } else {
        read = fs.ReadFile(page, &bytes);
      }
      if (read) read = ProbeBackupCopy(fs, backup);
    }
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
    RewritePage(bytes, blocks, form.List3, form.List4, show_line, &spans);

    const std::string& new_bytes = form.List3.bytes();
    if (!write) {
      if (new_bytes != bytes) {
        if (Status writable = fs.ProbeWrite(page, Intent::kReplace); !writable) {
          return Stop(form, RunOutcome::kWriteFailure, "FEHLER beim Schreiben von " + page,
                      std::move(writable));
        }
        ++result.stale_pages;
        form.SetLabel3("Datei " + page + " ist nicht aktuell");
        if (on_change) on_change({form.List1[revisits->First(i)], bytes, new_bytes, spans});
      }
      revisits->Visited(i, new_bytes);
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
