// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up scan alone, in the current folder: include.txt, include.htm and every page read,
// the news index built. Prints: pages ms
#include <chrono>
#include <cstdio>

#include "files/posix_file_system.h"
#include "scan/startup_scan.h"

int main() {
  splicery::PosixFileSystem fs;
  splicery::Form form;
  const auto start = std::chrono::steady_clock::now();
  if (!splicery::RunStartupScan(form, fs)) return 1;
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu %.0f\n", form.List1.size(), ms);
  return 0;
}
