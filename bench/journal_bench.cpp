// SPDX-License-Identifier: GPL-3.0-or-later
// What journaling adds to an update run in the current folder: the hashes of every page's old
// and new bytes and of its blocks, and the journal lines appended, timed alone. Pages are read
// and rewritten beforehand (the run has all of it in memory anyway). Prints: pages ms
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "files/posix_file_system.h"
#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "scan/config_loader.h"
#include "scan/startup_scan.h"
#include "update/journal.h"

int main() {
  splicery::PosixFileSystem fs;
  std::vector<std::string> pages;
  if (!splicery::ReadPageList(fs, &pages)) return 1;
  splicery::Form form;
  if (!splicery::RunStartupScan(form, fs)) return 1;
  splicery::BlockRewriter blocks(form.List2, form.List5);
  std::vector<std::string> old_bytes(pages.size()), new_bytes(pages.size());
  std::vector<std::vector<splicery::BlockSpan>> spans(pages.size());
  splicery::LineBuffer out;
  std::vector<std::string> keys;
  for (size_t i = 0; i < pages.size(); ++i) {
    (void)fs.ReadFile(pages[i], &old_bytes[i]);
    splicery::RewritePage(old_bytes[i], blocks, out, keys, nullptr, &spans[i]);
    new_bytes[i] = out.bytes();
  }
  const auto start = std::chrono::steady_clock::now();
  std::string lines;
  for (size_t i = 0; i < pages.size(); ++i) {
    splicery::JournalPage page{pages[i],
                               "splicery.sic/" + pages[i] + ". 1.htm",
                               splicery::JournalHash(old_bytes[i]),
                               splicery::JournalHash(new_bytes[i]),
                               {}};
    for (const splicery::BlockSpan& span : spans[i]) {
      page.blocks.push_back(splicery::JournalHash(
          std::string_view(new_bytes[i])
              .substr(span.new_generated, span.new_end - span.new_generated)));
    }
    lines += splicery::FormatPageLine(1, page);
  }
  (void)fs.AppendFile("journal-bench.tsv", lines);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu %.0f\n", pages.size(), ms);
  return 0;
}
