// The one door to the disk. Every file operation of the scan and the update run goes through
// this interface, so tests can put a double in front that fails any single call. Every call
// answers with a Status that names the path and the reason of a failure. A path holding a NUL
// byte names no file: every call fails on it (or finds it absent) as on a missing file.
#pragma once

#include <string>
#include <string_view>

#include "files/status.h"

namespace splicery {

// What a name test found. Only a regular file (links followed) counts as present; a folder or
// a broken link of that name counts as absent.
enum class Probe { kAbsent, kFile };

// Which file a name leads to (links followed): two names of one file have the same identity.
struct FileId {
  unsigned long long device = 0, inode = 0;
  bool operator==(const FileId&) const = default;
};

// The write that ProbeWrite is asked about.
enum class Intent { kCopyNew, kReplace };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Fails only when the test itself fails (EACCES, EIO); *found is then kAbsent.
  virtual Status ProbeFile(const std::string& path, Probe* found) = 0;

  // The identity of the file `path` names.
  virtual Status Identify(const std::string& path, FileId* id) = 0;

  // Creates a folder; fails for any reason, an existing folder included.
  virtual Status MakeDirectory(const std::string& path) = 0;

  // Copies the regular file `from` to `to` byte for byte and hands back the bytes copied, so
  // the caller works on exactly what was backed up. Fails when `to` exists or cannot be
  // created; then nothing is left at `to`. On success `to` is complete, never a partial copy.
  // A failure names `from` when reading failed and `to` when writing failed.
  virtual Status CopyNew(const std::string& from, const std::string& to, std::string* bytes) = 0;

  // Reads a whole regular file into `bytes`. A folder, a device or a missing file fails.
  virtual Status ReadFile(const std::string& path, std::string* bytes) = 0;

  // Replaces the file's bytes atomically: afterwards it holds either its old or its new bytes,
  // never a mixture. Keeps permission bits; a symlink is written through to its target. A file
  // that may not be written (no write permission) is refused.
  virtual Status ReplaceFile(const std::string& path, std::string_view bytes) = 0;

  // Whether CopyNew to `path` (kCopyNew) or ReplaceFile of `path` (kReplace) would succeed, as
  // far as can be told without writing: the folder exists and may be written, the name fits,
  // and a file to replace may be written. Fails with the status that call would give. Whether
  // a new name is taken is not looked at (ProbeFile tells that).
  virtual Status ProbeWrite(const std::string& path, Intent intent) = 0;
};

}  // namespace splicery
