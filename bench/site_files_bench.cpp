// SPDX-License-Identifier: GPL-3.0-or-later
// What the feed and the sitemap add to an update run in the current folder (which needs a
// splicery.ini with both): what the run learns of every page for the sitemap and both files
// built, timed alone. Pages are read and rewritten beforehand (the run has them in memory
// anyway), and their facts taken after all of them, from memory. The second figure takes each
// page's facts right after its rewrite instead, where the run takes them, with the page still
// in the cache. Prints: files ms ms_as_in_the_run
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files/posix_file_system.h"
#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "scan/site_config.h"
#include "scan/startup_scan.h"
#include "update/site_files_step.h"

int main() {
  splicery::PosixFileSystem fs;
  splicery::Form form;
  if (!splicery::RunStartupScan(form, fs) || !form.SiteConfigBytes) return 1;
  std::optional<splicery::SiteConfig> config;
  if (!splicery::CheckSiteConfig(*form.SiteConfigBytes, form.List1, &config)) return 1;
  splicery::BlockRewriter blocks(form.List2, form.List5);
  std::vector<std::string> new_bytes(form.List1.size());
  std::vector<splicery::FileKey> keys(form.List1.size());
  splicery::LineBuffer out;
  std::vector<std::string> seen;
  splicery::SiteFilesStep in_run(config, form.List1.size());
  std::chrono::steady_clock::duration in_run_time{};
  for (size_t i = 0; i < form.List1.size(); ++i) {
    std::string old;
    splicery::FileInfo info;
    (void)fs.ReadPage(form.List1[i], &old, &info);
    splicery::RewritePage(old, blocks, out, seen, nullptr);
    new_bytes[i] = out.bytes();
    keys[i] = info.key;
    const auto added = std::chrono::steady_clock::now();
    in_run.AddPage(form.List1[i], &keys[i], out.bytes());
    in_run_time += std::chrono::steady_clock::now() - added;
  }
  const auto start = std::chrono::steady_clock::now();
  splicery::SiteFilesStep step(std::move(config), form.List1.size());  // as the run makes it
  for (size_t i = 0; i < form.List1.size(); ++i)
    step.AddPage(form.List1[i], &keys[i], new_bytes[i]);
  const std::vector<splicery::SitemapFile> files = step.Build(form.Stands);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const auto built = std::chrono::steady_clock::now();
  const bool same = in_run.Build(form.Stands) == files;
  in_run_time += std::chrono::steady_clock::now() - built;
  std::printf("%zu %.0f %.0f\n", files.size(), ms,
              std::chrono::duration<double, std::milli>(in_run_time).count());
  return files.empty() || !same ? 1 : 0;
}
