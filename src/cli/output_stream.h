// SPDX-License-Identifier: GPL-3.0-or-later
// Standard output and standard error for splicery-cli. A write that fails (a closed pipe, a
// full disk) must not cut the run short: the stream remembers the first failure, later writes
// to it are dropped, and the exit status reports it at the end.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace splicery {

class OutputStream {
 public:
  // `name` is how the failure line calls the stream ("Standardausgabe").
  OutputStream(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

  void Write(std::string_view text);
  void Flush();
  bool failed() const { return error_ != 0; }
  int error() const { return error_; }
  const std::string& name() const { return name_; }

 private:
  std::FILE* file_;
  std::string name_;
  int error_ = 0;  // errno of the first failed write
};

// Flushes both streams, names a failed one on `err` (where that still works), and gives the
// exit status: `code`, or kExitFailure in place of success when a stream failed.
int FinishOutput(int code, OutputStream& out, OutputStream& err);

}  // namespace splicery
