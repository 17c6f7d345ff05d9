// Backup names and the search for the lowest free one.
#include "update/backup_name.h"

namespace splicery {
namespace {

// Whether the folder parts of `page`, taken below the backup folder with their ".." parts
// resolved as written, ever climb above it. The last part gets ". N.htm" and is never "..".
bool LeavesBackupFolder(std::string_view page) {
  size_t depth = 0;
  for (size_t slash; (slash = page.find('/')) != std::string_view::npos;) {
    const std::string_view part = page.substr(0, slash);
    page.remove_prefix(slash + 1);
    if (part == "..") {
      if (depth == 0) return true;
      --depth;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> BackupName(std::string_view page, size_t number) {
  if (LeavesBackupFolder(page)) return std::nullopt;
  std::string name = kBackupFolder;
  name += '/';
  name += page;
  name += ". ";
  name += std::to_string(number);
  name += ".htm";
  return name;
}

Status FindFreeBackupName(FileSystem& fs, std::string_view page, std::string* name) {
  for (size_t number = 1;; ++number) {
    std::optional<std::string> candidate = BackupName(page, number);
    if (!candidate) {
      return Status::Failure(std::string(page), "Sicherung läge außerhalb von " +
                                                    std::string(kBackupFolder));
    }
    Probe found;
    if (Status probed = fs.ProbeFile(*candidate, &found); !probed) return probed;
    if (found == Probe::kAbsent) {
      *name = std::move(*candidate);
      return {};
    }
  }
}

}  // namespace splicery
