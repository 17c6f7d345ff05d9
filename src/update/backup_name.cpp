// Backup names and the search for the lowest free one.
#include "update/backup_name.h"

namespace splicery {
namespace {

bool HasParentPart(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    if (path.substr(start, slash - start) == "..") return true;
    start = slash + 1;
  }
  return false;
}

}  // namespace

std::optional<std::string> BackupName(std::string_view page, size_t number) {
  if (HasParentPart(page)) return std::nullopt;
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

Status ProbeBackup(FileSystem& fs, std::string_view page) {
  std::string name;
  return FindFreeBackupName(fs, page, &name);
}

}  // namespace splicery
