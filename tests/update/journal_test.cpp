// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/journal.h"

#include <gtest/gtest.h>

#include "files/posix_file_system.h"
#include "support/temp_site.h"
#include "update/journal_reader.h"

namespace splicery {
namespace {

JournalRun MakeRun(uint64_t number, std::optional<uint64_t> undoes, std::vector<JournalPage> pages,
                   bool to_utf8 = false) {
  return {number, "2026-12-07T10:40:0" + std::to_string(number % 10) + "Z", undoes,
          std::move(pages), to_utf8};
}

std::string Write(const std::vector<JournalRun>& runs) {
  std::string bytes(kJournalHeader);
  for (const JournalRun& run : runs) {
    bytes += FormatRunLine(run);
    for (const JournalPage& page : run.pages) bytes += FormatPageLine(run.number, page);
    for (const JournalPage& page : run.pages) {
      if (page.written) bytes += FormatWrittenLine(run.number, page.path, *page.written);
    }
    if (run.incomplete) bytes += FormatIncompleteLine(run.number);
  }
  return bytes;
}

// Whatever a run writes reads back as it was, any page name included; a torn or foreign line
// is skipped and never taken for a different fact.
TEST(Journal, WrittenRunsReadBack) {
  const JournalPage plain{"index.htm", "splicery.sic/index.htm. 1.htm", 1, 2, {3, 4}};
  const JournalPage odd{"a\tb\nc\rd\\e.htm", "splicery.sic/a\tb\nc\rd\\e.htm. 12.htm", 0, {}, {}};
  const JournalPage unchanged{"x.htm", "splicery.sic/x.htm. 2.htm", UINT64_MAX, {}, {7}};
  const JournalPage created{"news/a\tom.xml", {}, 0, 8, {}, true};
  const JournalPage removed{"karte-2.xml", "splicery.sic/karte-2.xml. 1.htm", 9, {}, {}, false,
                            true};
  JournalPage kept = plain, written = odd;
  kept.written = false;
  written.written = true;
  std::vector<JournalRun> runs = {
      MakeRun(1, {}, {plain, odd}), MakeRun(2, {}, {unchanged, created, removed}),
      MakeRun(3, 1, {kept, written}), MakeRun(4, {}, {plain, unchanged}, /*to_utf8=*/true)};
  runs[2].incomplete = true;
  const std::string bytes = Write(runs);
  EXPECT_EQ(ParseJournal(bytes), runs);
  EXPECT_EQ(bytes.find("a\tb"), std::string::npos);  // one line per page, whatever its name

  struct Damage {
    const char* name;
    std::string tail;
  };
  const std::vector<Damage> damages = {
      {"torn page line", "page\t4\tx.htm\tsplicery.sic/x.htm. 3.htm\t00"},
      {"torn run line", "run\t5\t2026"},
      {"page of no run", "page\t9\tx.htm\tb\t01\t=\t-\n"},
      {"bad hash", "page\t4\tx.htm\tb\tzz\t=\t-\n"},
      {"bad escape", "page\t4\tx\\q.htm\tb\t01\t=\t-\n"},
      {"unknown kind", "run\t5\t2026-12-07T10:40:00Z\trevert 1\n"},
      {"page line of eight fields", "page\t4\tx.htm\tb\t01\t=\t-\t-\n"},
      {"unknown line", "moved\t4\tx.htm\ty.htm\n"},
      {"removed without backup", "removed\t4\tx.xml\t01\n"},
      {"written of no page", "written\t4\ty.htm\tyes\n"},
      {"written of a run gone by", "written\t3\tindex.htm\tyes\n"},
      {"incomplete update", "incomplete\t4\n"},
  };
  for (const Damage& d : damages) EXPECT_EQ(ParseJournal(bytes + d.tail), runs) << d.name;
}

// Read a part at a time, forward or backward, a long journal gives the runs read whole.
TEST(Journal, ReadInPartsFromEitherEnd) {
  testing::TempSite site({{"splicery.sic/keep", ""}});
  std::vector<JournalRun> runs;
  for (uint64_t n = 1; n <= 40; ++n) {
    JournalRun run = MakeRun(n, n % 7 == 0 ? std::optional<uint64_t>(n - 1) : std::nullopt, {});
    for (int i = 0; i < 300; ++i) {
      // Long names: the journal spans several parts.
      run.pages.push_back({std::string(120, 's') + std::to_string(i), "b", n, n + 1, {1, 2}});
      run.pages.back().written = i % 5 != 0;
    }
    runs.push_back(std::move(run));
  }
  testing::TempSite::Write(kJournalFile, Write(runs) + "page\t40\ttorn");
  PosixFileSystem fs;
  std::vector<JournalRun> forward, backward;
  ASSERT_TRUE(ForEachRun(fs, [&](JournalRun&& run) { forward.push_back(std::move(run)); }));
  ASSERT_TRUE(ForEachRunBackward(fs, [&](JournalRun&& run) {
    backward.insert(backward.begin(), std::move(run));
    return true;
  }));
  EXPECT_EQ(forward, runs);
  EXPECT_EQ(backward, runs);
  JournalEnd end;
  ASSERT_TRUE(ReadJournalEnd(fs, &end));
  EXPECT_EQ(end.last_run, 40u);
  EXPECT_TRUE(end.torn);
}

// A run that changed nothing is never the one an undo takes back, nor is an undo or a run
// already undone.
TEST(Journal, UndoTakesBackTheNewestRunThatChangedSomething) {
  const JournalPage changed{"a.htm", "b", 1, 2, {}};
  const JournalPage unchanged{"a.htm", "b", 1, {}, {}};
  const JournalPage removed{"s-2.xml", "b", 1, {}, {}, false, true};
  struct Case {
    std::vector<JournalRun> runs;
    std::optional<uint64_t> expected;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{MakeRun(1, {}, {changed}), MakeRun(2, {}, {unchanged})}, 1},
      {{MakeRun(1, {}, {changed}), MakeRun(2, {}, {changed}), MakeRun(3, 2, {changed})}, 1},
      {{MakeRun(1, {}, {changed}), MakeRun(2, 1, {changed})}, {}},
      {{MakeRun(1, {}, {changed}), MakeRun(2, 1, {changed}), MakeRun(3, {}, {changed})}, 3},
      {{MakeRun(1, {}, {changed}), MakeRun(2, {}, {unchanged, removed})}, 2},
  };
  for (const Case& c : cases) {
    const JournalRun* run = LastUndoableRun(c.runs);
    EXPECT_EQ(run ? std::optional<uint64_t>(run->number) : std::nullopt, c.expected);
  }
}

// A run killed while appending leaves a line without its end; the next run's lines must not
// complete it into a fact, even when it already holds all seven fields.
TEST(Journal, ATornLineStaysNoFactWhenTheNextRunAppends) {
  const std::string torn = "page\t1\tx.htm\tsplicery.sic/x.htm. 1.htm\t01\t02\t-";
  testing::TempSite site(
      {{"splicery.sic/journal.tsv",
        std::string(kJournalHeader) + "run\t1\t2026-12-07T10:40:00Z\tupdate\n" + torn}});
  PosixFileSystem fs;
  JournalWriter writer(fs, "2026-12-07T10:41:00Z");
  ASSERT_TRUE(writer.Open().ok());
  writer.Add({"y.htm", "splicery.sic/y.htm. 1.htm", 3, 4, {}});
  ASSERT_TRUE(writer.Write().ok());
  std::vector<JournalRun> runs;
  ASSERT_TRUE(ReadJournal(fs, &runs).ok());
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_TRUE(runs[0].pages.empty());
  ASSERT_EQ(runs[1].pages.size(), 1u);
  EXPECT_EQ(runs[1].pages[0].path, "y.htm");
}

}  // namespace
}  // namespace splicery
