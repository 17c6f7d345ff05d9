// SPDX-License-Identifier: GPL-3.0-or-later
// splicery-cli entry point.
#include <malloc.h>

#include <csignal>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A reader that goes away (splicery-cli | head -1) must not end the run halfway; the failed
  // write is reported by the exit status instead.
  std::signal(SIGPIPE, SIG_IGN);
  // A short-lived process: the buffers of large pages are reused from the heap rather than
  // mapped, faulted in and given back page after page (glibc would map them by default).
  (void)mallopt(M_MMAP_THRESHOLD, 32 << 20);
  (void)mallopt(M_TRIM_THRESHOLD, 128 << 20);
  return splicery::RunCli(argc, argv, stdout, stderr);
}
