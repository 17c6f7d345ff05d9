// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built splicery-cli in the current folder and collects what it printed.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace splicery::testing {

struct CliResult {
  int code = -1;  // exit status; -1 when killed by a signal
  std::string out;
  std::string err;
};

struct CliOptions {
  // Run as the unprivileged user "nobody" (only when started as root), so that file
  // permissions apply.
  bool drop_privileges = false;
  // Standard error into the same file as standard output, so their order shows (in `out`).
  bool merge_output = false;
  // Standard output as captured (kCapture), a full disk (kFull: /dev/full), or a pipe whose
  // reader is gone (kClosedPipe); the last two leave `out` empty.
  enum class Stdout { kCapture, kFull, kClosedPipe } stdout_to = Stdout::kCapture;
  // Kill the run with SIGKILL after this long.
  std::optional<std::chrono::microseconds> kill_after;
};

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options = {});

}  // namespace splicery::testing
