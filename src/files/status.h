// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome of one file operation: success, or a failure with the path it concerns and the
// reason, so that a front end can say why and not only that something failed.
#pragma once

#include <string>
#include <string_view>

namespace splicery {

class Status {
 public:
  Status() = default;  // success

  // A failed system call: `error` is its errno.
  static Status FromErrno(int error, std::string path);
  // A failure without an errno behind it; `reason` is the German text to show.
  static Status Failure(std::string path, std::string reason);

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  int error() const { return error_; }  // 0 when no errno lies behind the failure
  // The page, backup name, configuration file or folder that failed; never a temporary name.
  const std::string& path() const { return path_; }
  // German text: a fixed one for the common errnos, else the system's own.
  std::string reason() const;

 private:
  bool failed_ = false;
  int error_ = 0;
  std::string path_;
  std::string reason_;
};

// The reason text for an errno, as reason() gives it.
std::string ErrnoReason(int error);

}  // namespace splicery
