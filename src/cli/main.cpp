// SPDX-License-Identifier: GPL-3.0-or-later
// splicery-cli entry point.
#include <csignal>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A reader that goes away (splicery-cli | head -1) must not end the run halfway; the failed
  // write is reported by the exit status instead.
  std::signal(SIGPIPE, SIG_IGN);
  return splicery::RunCli(argc, argv, stdout, stderr);
}
