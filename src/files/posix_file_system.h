// The real disk, through POSIX calls. Files are bytes; nothing is re-encoded.
#pragma once

#include <sys/types.h>

#include "files/file_system.h"

namespace splicery {

// Temporary files carry this in their name, so that a person who finds one left behind by a
// killed run can tell what it is: ".index.htm.splicery-tmp-<pid>-<n>". A page name too long
// for that is shortened in it, so the name fits wherever the page's backup name fits.
inline constexpr std::string_view kTempMarker = ".splicery-tmp-";

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem() = default;
  // false: never use unnamed (O_TMPFILE) files, as on file systems without them; for tests.
  explicit PosixFileSystem(bool unnamed_temp_files) : unnamed_temp_files_(unnamed_temp_files) {}

  Status ProbeFile(const std::string& path, Probe* found) override;
  Status Identify(const std::string& path, FileId* id) override;
  Status MakeDirectory(const std::string& path) override;
  Status CopyNew(const std::string& from, const std::string& to, std::string* bytes) override;
  Status ReadFile(const std::string& path, std::string* bytes) override;
  Status ReplaceFile(const std::string& path, std::string_view bytes) override;
  Status ProbeWrite(const std::string& path, Intent intent) override;

 private:
  int CreateTemp(const std::string& path, mode_t mode, std::string* temp_path);
  Status WriteNew(const std::string& path, mode_t mode, std::string_view bytes);

  bool unnamed_temp_files_ = true;
  unsigned temp_counter_ = 0;
};

}  // namespace splicery
