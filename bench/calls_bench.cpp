// SPDX-License-Identifier: GPL-3.0-or-later
// The system calls an update run cannot do without, on one thread and with no work on the
// pages: every listed page read once (the start-up scan), then for every page its new file
// created, locked and written (its read bytes again, padded by a tenth), its old file linked
// as the backup and that link looked at, the page looked at and the new file renamed over it.
// Run in a copy of a site whose pages are in its own folder (the bench's): it changes the pages
// as a run would. Prints: pages ms
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main() {
  std::vector<std::string> pages;
  std::ifstream list("include.txt");
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) pages.push_back(line);
  }
  ::mkdir("splicery.sic", 0755);
  std::string bytes(size_t{1} << 20, 'x');
  const auto start = std::chrono::steady_clock::now();
  std::vector<size_t> sizes;
  for (const std::string& page : pages) {
    const int fd = ::open(page.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ssize_t n = -1;
    if (fd >= 0 && ::fstat(fd, &st) == 0) n = ::read(fd, bytes.data(), bytes.size());
    if (fd >= 0) ::close(fd);
    sizes.push_back(n > 0 ? static_cast<size_t>(n) : 0);
  }
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string temp = "." + pages[i] + ".calls-bench-tmp";
    const std::string backup = "splicery.sic/" + pages[i] + ". 1.htm";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    const size_t size = std::min(bytes.size(), sizes[i] + sizes[i] / 10);
    if (::write(fd, bytes.data(), size) != static_cast<ssize_t>(size) || ::close(fd) != 0) return 1;
    struct stat st {};
    if (::link(pages[i].c_str(), backup.c_str()) != 0 || ::lstat(backup.c_str(), &st) != 0 ||
        ::stat(pages[i].c_str(), &st) != 0 || ::rename(temp.c_str(), pages[i].c_str()) != 0) {
      return 1;
    }
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu %.0f\n", pages.size(), ms);
  return 0;
}
