// The one door to the disk. Every file operation of the scan and the update run goes through
// this interface, so tests can put a double in front that fails any single call.
#pragma once

#include <string>
#include <string_view>

namespace splicery {

// What a name test found. Only a regular file (links followed) counts as present; a folder or
// a broken link of that name counts as absent. kError: the test itself failed (EACCES, EIO).
enum class Probe { kAbsent, kFile, kError };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual Probe ProbeFile(const std::string& path) = 0;

  // Creates a folder; false when it fails for any reason, an existing folder included.
  virtual bool MakeDirectory(const std::string& path) = 0;

  // Copies the regular file `from` to `to` byte for byte and hands back the bytes copied, so
  // the caller works on exactly what was backed up. Fails when `to` exists or cannot be
  // created; then nothing is left at `to`. On success `to` is complete, never a partial copy.
  virtual bool CopyNew(const std::string& from, const std::string& to, std::string* bytes) = 0;

  // Reads a whole regular file into `bytes`. A folder, a device or a missing file fails.
  virtual bool ReadFile(const std::string& path, std::string* bytes) = 0;

  // Replaces the file's bytes atomically: afterwards it holds either its old or its new bytes,
  // never a mixture. Keeps permission bits; a symlink is written through to its target. A file
  // that may not be written (no write permission) is refused.
  virtual bool ReplaceFile(const std::string& path, std::string_view bytes) = 0;
};

}  // namespace splicery
