// The real disk, through POSIX calls. Files are bytes; nothing is re-encoded.
#pragma once

#include "files/file_system.h"

namespace splicery {

// Temporary files carry this in their name, so that a person who finds one left behind by a
// killed run can tell what it is: ".index.htm.splicery-tmp-<pid>-<n>".
inline constexpr std::string_view kTempMarker = ".splicery-tmp-";

class PosixFileSystem : public FileSystem {
 public:
  Probe ProbeFile(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool CopyNew(const std::string& from, const std::string& to, std::string* bytes) override;
  bool ReadFile(const std::string& path, std::string* bytes) override;
  bool ReplaceFile(const std::string& path, std::string_view bytes) override;
};

}  // namespace splicery
