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

std::optional<std::string> FindFreeBackupName(FileSystem& fs, std::string_view page) {
  for (size_t number = 1;; ++number) {
    std::optional<std::string> name = BackupName(page, number);
    if (!name) return std::nullopt;
    switch (fs.ProbeFile(*name)) {
      case Probe::kAbsent:
        return name;
      case Probe::kError:
        return std::nullopt;
      case Probe::kFile:
        break;
    }
  }
}

}  // namespace splicery
