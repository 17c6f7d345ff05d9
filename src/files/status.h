// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome of one file operation: success, or a failure with the path it concerns, a code
// that callers test, and the errno behind it where there is one. The words for it are the
// message catalogue's (core/messages.h); this layer speaks none.
#pragma once

#include <cstdint>
#include <string>

namespace splicery {

enum class Code : uint8_t {
  kOk,
  kSystem,             // an errno without a code of its own: see error()
  kNotFound,           // ENOENT
  kPermission,         // EACCES, EPERM
  kExists,             // EEXIST
  kNameTooLong,        // ENAMETOOLONG
  kChangedSinceRead,   // the file is no longer the one that was read
  kOwnerNotGiven,      // a new file could not be given the owner or group it was to have
  kBackupOutside,      // the page's backup name would leave the backup folder
  kUtf16,              // a configuration file saved as UTF-16
  kUnknownFormat,      // a journal whose first line this program does not write
  kStartWithoutEnd,    // a page whose last START marker opens a block; path is "PAGE:LINE"
  kConfigProblem,      // a configuration file that says something unusable; path is "FILE:LINE",
                       // detail() the reason as the layer that read it worded it
  kAttributeNotGiven,  // a new file could not be given an extended attribute (an ACL) it was
                       // to have
  kSymbolicLink,       // a symbolic link where only the file itself may be used
};

class Status {
 public:
  Status() = default;  // success

  // A failed system call: `error` is its errno.
  static Status FromErrno(int error, std::string path);
  // A failure without an errno behind it.
  static Status Failure(Code code, std::string path);
  // A failure whose reason a higher layer has already worded.
  static Status Described(Code code, std::string path, std::string detail);

  bool ok() const { return code_ == Code::kOk; }
  explicit operator bool() const { return ok(); }
  Code code() const { return code_; }
  int error() const { return error_; }  // 0 when no errno lies behind the failure
  // The page, backup name, configuration file or folder that failed; never a temporary name.
  const std::string& path() const { return path_; }
  const std::string& detail() const { return detail_; }
  // The same failure, told about another name (a page as listed, not the file behind it).
  Status About(std::string path) const;

 private:
  Code code_ = Code::kOk;
  int error_ = 0;
  std::string path_;
  std::string detail_;
};

}  // namespace splicery
