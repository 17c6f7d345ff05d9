// SPDX-License-Identifier: GPL-3.0-or-later
// Crash safety: splicery-cli killed with SIGKILL at random moments of an update run, again and
// again on the same site. After every kill each page holds its old or its new bytes, every
// backup copy holds a complete page, and a later run finishes the job.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "support/cli_runner.h"
#include "support/temp_site.h"
#include "update/journal.h"

namespace splicery {
namespace {

using testing::Files;
using testing::TempSite;
using Clock = std::chrono::steady_clock;

constexpr int kPages = 400;

Files StaleSite() {
  Files files;
  std::string list;
  for (int p = 0; p < kPages; ++p) {
    const std::string name = "seite" + std::to_string(p) + ".htm";
    list += name + "\n";
    std::string page =
        "<html>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nalt\n"
        "<!-- INCLUDE END -->\n";
    for (int i = 0; i < 100; ++i) page += "<p>Absatz " + std::to_string(i) + " der Seite.</p>\n";
    page += "<p><!-- STAND START -->01.02." + std::to_string(2000 + p) + "<!--S" +
            std::to_string(p) + "--></p>\n</html>\n";
    files[name] = page;
  }
  files["include.txt"] = list;
  files["include.htm"] =
      "<!-- INCLUDE MENU --><a href='index.htm'>Start</a>\n"
      "<!-- INCLUDE MENU --><a href='news.htm'>Neues</a>\n";
  return files;
}

int RunCli(std::optional<std::chrono::microseconds> kill_after = std::nullopt) {
  testing::CliOptions options;
  options.kill_after = kill_after;
  return testing::RunCli({}, options).code;
}

TEST(CrashSafety, KilledRunsNeverLeaveAHalfWrittenPageOrBackup) {
  const Files stale = StaleSite();
  Files fresh;
  Clock::duration full_run;
  {
    TempSite reference(stale);
    const auto start = Clock::now();
    ASSERT_EQ(RunCli(), 0);
    full_run = Clock::now() - start;
    for (const auto& [path, bytes] : stale) fresh[path] = TempSite::Read(path);
  }
  ASSERT_NE(fresh["seite0.htm"], stale.at("seite0.htm"));

  TempSite site(stale);
  // SPLICERY_CRASH_SEED repeats a failed run's kill moments (as far as timing allows).
  const char* seed_text = std::getenv("SPLICERY_CRASH_SEED");
  const unsigned seed = seed_text ? static_cast<unsigned>(std::strtoul(seed_text, nullptr, 10))
                                  : std::random_device{}();
  std::mt19937 random(seed);
  SCOPED_TRACE("SPLICERY_CRASH_SEED=" + std::to_string(seed));
  const auto full_us = std::chrono::duration_cast<std::chrono::microseconds>(full_run).count();
  std::uniform_int_distribution<long> moment(0, full_us + full_us / 4);
  const auto deadline = Clock::now() + std::chrono::seconds(25);
  int kills = 0;
  for (; kills < 30 && Clock::now() < deadline; ++kills) {
    RunCli(std::chrono::microseconds(moment(random)));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(site.dir())) {
      if (entry.is_directory()) continue;
      const std::string rel = std::filesystem::relative(entry.path(), site.dir()).string();
      const std::string name = entry.path().filename().string();
      const std::string bytes = TempSite::Read(entry.path().string());
      if (rel == "splicery.sic/journal.tsv") continue;  // read after the last run, below
      if (rel.starts_with("splicery.sic/")) {
        // "seiteN.htm. K.htm" holds the page as it was before that run: old or new, whole.
        const std::string page = name.substr(0, name.find(". "));
        ASSERT_TRUE(stale.count(page)) << rel;
        EXPECT_TRUE(bytes == stale.at(page) || bytes == fresh.at(page)) << rel;
      } else if (name.find(".splicery-tmp-") != std::string::npos) {
        EXPECT_EQ(name[0], '.') << rel;  // a temporary file a killed run left: hidden, named
      } else {
        ASSERT_TRUE(stale.count(rel)) << rel;
        EXPECT_TRUE(bytes == stale.at(rel) || bytes == fresh.at(rel)) << rel;
      }
    }
    if (HasFailure()) break;
  }
  std::printf("%d runs killed (seed %u, full run %ld us)\n", kills, seed,
              static_cast<long>(full_us));

  // The next run is not bothered by what the killed ones left, and finishes every page.
  EXPECT_EQ(RunCli(), 0);
  for (const auto& [path, bytes] : fresh) EXPECT_EQ(TempSite::Read(path), bytes) << path;
  // Lines torn by the kills never hide the last run's: a run after that one names every page,
  // none changed. (Whether a killed run got as far as the end depends on the machine's load.)
  EXPECT_EQ(RunCli(), 0);
  const std::vector<JournalRun> runs = ParseJournal(TempSite::Read("splicery.sic/journal.tsv"));
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.back().pages.size(), static_cast<size_t>(kPages));
  for (const JournalPage& page : runs.back().pages) EXPECT_FALSE(page.new_hash) << page.path;
}

}  // namespace
}  // namespace splicery
