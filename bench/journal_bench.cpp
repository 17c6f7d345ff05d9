// SPDX-License-Identifier: GPL-3.0-or-later
// What journaling adds to an update run in the current folder: the hashes of every page's old
// and new bytes and of its blocks, and the journal lines appended, timed alone. Pages are read
// and rewritten beforehand (the run has all of it in memory anyway). Prints: pages ms
//   journal_bench journal RUNS   writes a journal of RUNS runs over every listed page, the
//                                newest with the pages' real hashes (backups need not exist)
//   journal_bench backups N      makes N backups of every page and a journal of N runs
//                                naming them
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/posix_file_system.h"
#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "scan/config_loader.h"
#include "scan/startup_scan.h"
#include "update/journal.h"

namespace {

using splicery::JournalPage;

struct Site {
  std::vector<std::string> pages, old_bytes, new_bytes;
  std::vector<std::vector<splicery::BlockSpan>> spans;
};

bool Load(splicery::FileSystem& fs, Site* site) {
  if (!splicery::ReadPageList(fs, &site->pages)) return false;
  splicery::Form form;
  if (!splicery::RunStartupScan(form, fs)) return false;
  splicery::BlockRewriter blocks(form.List2, form.List5);
  const size_t n = site->pages.size();
  site->old_bytes.resize(n), site->new_bytes.resize(n), site->spans.resize(n);
  splicery::LineBuffer out;
  std::vector<std::string> keys;
  for (size_t i = 0; i < n; ++i) {
    (void)fs.ReadFile(site->pages[i], &site->old_bytes[i]);
    splicery::RewritePage(site->old_bytes[i], blocks, out, keys, nullptr, &site->spans[i]);
    site->new_bytes[i] = out.bytes();
  }
  return true;
}

JournalPage LineOf(const Site& site, size_t i, size_t backup) {
  JournalPage page{site.pages[i],
                   "splicery.sic/" + site.pages[i] + ". " + std::to_string(backup) + ".htm",
                   splicery::JournalHash(site.old_bytes[i]),
                   splicery::JournalHash(site.new_bytes[i]),
                   {}};
  if (site.old_bytes[i] == site.new_bytes[i]) page.new_hash.reset();
  for (const splicery::BlockSpan& span : site.spans[i]) {
    page.blocks.push_back(
        splicery::JournalHash(std::string_view(site.new_bytes[i])
                                  .substr(span.new_generated, span.new_end - span.new_generated)));
  }
  return page;
}

// Runs 1..runs over every page; run n names backup n. Old runs an hour apart, all in the past.
int WriteJournal(splicery::FileSystem& fs, const Site& site, size_t runs, bool make_backups) {
  std::string bytes(splicery::kJournalHeader);
  for (size_t n = 1; n <= runs; ++n) {
    char time[32];
    std::snprintf(time, sizeof time, "2020-01-%02zuT%02zu:00:00Z", 1 + n / 24 % 28, n % 24);
    bytes += splicery::FormatRunLine({n, time, {}, {}});
    for (size_t i = 0; i < site.pages.size(); ++i) {
      const JournalPage page = LineOf(site, i, n);
      bytes += splicery::FormatPageLine(n, page);
      if (make_backups && !fs.CreateFile(page.backup, site.old_bytes[i], 0644)) return 1;
    }
  }
  (void)fs.MakeDirectory("splicery.sic");
  return fs.AppendFile(splicery::kJournalFile, bytes).ok() && fs.Flush().ok() ? 0 : 1;
}

int TimeJournalShare(splicery::FileSystem& fs, const Site& site) {
  const auto start = std::chrono::steady_clock::now();
  std::string lines;
  for (size_t i = 0; i < site.pages.size(); ++i) {
    lines += splicery::FormatPageLine(1, LineOf(site, i, 1));
  }
  (void)fs.AppendFile("journal-bench.tsv", lines);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu %.0f\n", site.pages.size(), ms);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  splicery::PosixFileSystem fs;
  Site site;
  if (!Load(fs, &site)) return 1;
  const std::string mode = argc > 2 ? argv[1] : "";
  const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 0;
  if (mode == "journal") return WriteJournal(fs, site, count, false);
  if (mode == "backups") {
    (void)fs.MakeDirectory("splicery.sic");
    return WriteJournal(fs, site, count, true);
  }
  return TimeJournalShare(fs, site);
}
