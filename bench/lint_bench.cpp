// SPDX-License-Identifier: GPL-3.0-or-later
// The whole-site lint of the site in the current folder, timed in one process, with or without
// the link check. Prints "FINDINGS MS".
//   lint_bench           with the link check (what --lint does)
//   lint_bench nolinks   without it: the lint as it was before the link check
#include <chrono>
#include <cstdio>
#include <cstring>

#include "files/posix_file_system.h"
#include "report/site_lint.h"

int main(int argc, char** argv) {
  const bool links = !(argc > 1 && std::strcmp(argv[1], "nolinks") == 0);
  splicery::PosixFileSystem fs;
  const auto start = std::chrono::steady_clock::now();
  const size_t findings = splicery::LintSite(fs, links).size();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  std::printf("%zu %lld\n", findings, static_cast<long long>(ms));
  return 0;
}
