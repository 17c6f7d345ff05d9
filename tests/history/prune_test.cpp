// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/prune.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>

#include "files/posix_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

std::string B(const std::string& page, const std::string& number) {
  return "splicery.sic/" + page + ". " + number + ".htm";
}

// Journaled backups are newer than the others, by their place in the journal (a number used
// again counts where it was used last); the others by time. The newest run's backups stay,
// and so does one file reached under a second name, and a recent one the journal lost.
TEST(Prune, KeepsTheNewestAndWhatTheLastRunMade) {
  std::map<std::string, FileKey> keys = {{"a.htm", {1, 100}}, {"./a.htm", {1, 100}}};
  std::vector<BackupFile> files;
  for (const auto& [number, mtime] : std::vector<std::pair<std::string, int64_t>>{
           {"1", 10}, {"2", 20}, {"3", 5}, {"4", 30}, {"05", 1}}) {
    keys[B("a.htm", number)] = {1, std::stoul(number)};
    files.push_back({B("a.htm", number), keys[B("a.htm", number)], mtime});
  }
  keys[B("./a.htm", "2")] = keys[B("a.htm", "2")];  // the same backup under the page's other name
  files.push_back({B("./a.htm", "2"), keys[B("a.htm", "2")], 20});
  files.push_back({B("b.htm", "1"), {1, 50}, 1});
  const Identify identify = [&keys](const std::string& name) -> std::optional<FileKey> {
    auto it = keys.find(name);
    return it == keys.end() ? std::nullopt : std::optional<FileKey>(it->second);
  };
  auto run = [](uint64_t n, std::optional<uint64_t> undoes, std::vector<std::string> backups,
                bool changed = true) {
    JournalRun r{n, "t", undoes, {}};
    for (const std::string& b : backups) {
      r.pages.push_back({"a.htm", b, 0, changed ? std::optional<uint64_t>(1) : std::nullopt, {}});
    }
    return r;
  };
  // A created line has no backup: its empty name counts for nothing, even where the file
  // system makes something of it (here backup 4).
  keys[""] = keys[B("a.htm", "4")];
  JournalRun with_created = run(2, {}, {B("a.htm", "1")});
  with_created.pages.push_back({"atom.xml", "", 0, 1, {}, true});
  // A run that only made a file (the feed): its line names no backup.
  JournalRun made{3, "t", {}, {{"atom.xml", "", 0, 9, {}, true}}};
  struct Case {
    std::vector<JournalRun> runs;
    size_t keep;
    int64_t newest_run_ns;
    std::vector<std::string> remove;
  };
  const std::vector<Case> cases = {
      {{}, 2, INT64_MAX, {B("a.htm", "1"), B("a.htm", "3")}},
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")})},
       2,
       INT64_MAX,
       {B("a.htm", "4"), B("a.htm", "2")}},
      // The page was listed twice in the newest run: both of its backups stay.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1"), B("./a.htm", "2")})},
       1,
       INT64_MAX,
       {B("a.htm", "3"), B("a.htm", "4")}},
      // Run 2 is undone by run 3: run 3's backup stays, and run 1's, which --undo takes next.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")}), run(3, 2, {B("a.htm", "2")})},
       0,
       INT64_MAX,
       {B("a.htm", "1"), B("a.htm", "4")}},
      // Run 2 changed nothing: run 1 is the one --undo takes back, and keeps its backup.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")}, false)},
       1,
       INT64_MAX,
       {B("a.htm", "4"), B("a.htm", "2")}},
      // A made file has no backup: it ranks and keeps nothing, and its run is the one to undo.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")}), made},
       0,
       INT64_MAX,
       {B("a.htm", "1"), B("a.htm", "3"), B("a.htm", "4"), B("a.htm", "2")}},
      // The newest run began at 25: the unknown backup 4 (30) is younger, so it may be that run's.
      {{run(1, {}, {B("a.htm", "3")})}, 1, 25, {B("a.htm", "2"), B("a.htm", "1")}},
      {{run(1, {}, {B("a.htm", "3")})}, 10, INT64_MAX, {}},
      {{run(1, {}, {B("a.htm", "3")}), with_created},
       1,
       INT64_MAX,
       {B("a.htm", "3"), B("a.htm", "4"), B("a.htm", "2")}},
      // Backup 3 was made again by run 3: it ranks as run 3's, newer than run 2's backup 1.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")}), run(3, {}, {B("a.htm", "3")}),
        run(4, {}, {B("a.htm", "2")})},
       2,
       INT64_MAX,
       {B("a.htm", "1"), B("a.htm", "4")}},
  };
  for (const Case& c : cases) {
    const PrunePlan plan =
        PlanPrune({"a.htm", "./a.htm"}, files, c.runs, c.keep, identify, c.newest_run_ns);
    EXPECT_EQ(plan.remove, c.remove);
    EXPECT_EQ(plan.kept + plan.remove.size(), 4u);  // 1 to 4, each once; 05 and b.htm never
  }
}

// The files a run writes besides the pages (include.htm, the feed in a sub-folder, the sitemap
// and a part of it that one run removed) keep their N newest backups as a page does, under the
// same guards, and the journal loses the lines of the backups deleted. A page no longer listed
// keeps all of its backups; a splicery.ini that cannot be used stops prune.
TEST(Prune, TreatsTheFilesARunWritesLikePages) {
  const auto b = [](const std::string& file, int n) { return B(file, std::to_string(n)); };
  const std::string a = "a.htm", inc = "include.htm", feed = "news/atom.xml", map = "sitemap.xml",
                    part = "sitemap-2.xml";
  std::vector<std::vector<JournalPage>> runs = {{{a, b(a, 1), 1, 2, {}},
                                                 {feed, "", 0, 3, {}, true},
                                                 {map, "", 0, 4, {}, true},
                                                 {"alt.htm", b("alt.htm", 1), 1, 2, {}}},
                                                {{a, b(a, 2), 1, 2, {}},
                                                 {feed, b(feed, 1), 1, 2, {}},
                                                 {map, b(map, 1), 1, 2, {}},
                                                 {part, b(part, 1), 1, {}, {}, false, true}},
                                                {{inc, b(inc, 1), 1, 2, {}},
                                                 {a, b(a, 3), 1, 2, {}},
                                                 {feed, b(feed, 2), 1, 2, {}},
                                                 {map, b(map, 2), 1, 2, {}},
                                                 {part, "", 0, 5, {}, true}},
                                                {{a, b(a, 4), 1, 2, {}},
                                                 {feed, b(feed, 3), 1, 2, {}},
                                                 {map, b(map, 3), 1, 2, {}},
                                                 {part, b(part, 2), 1, 2, {}},
                                                 {inc, b(inc, 2), 1, 2, {}}}};
  const std::string ini =
      "[site]\nadresse = https://www.example.org/\ntitel = T\nautor = A\n"
      "[feed]\ndatei = news/atom.xml\n[sitemap]\ndatei = sitemap.xml\n";
  struct Case {
    size_t keep;
    std::vector<std::string> removed;  // in the order prune deletes them
  };
  const std::vector<Case> cases = {
      {1,
       {b(a, 3), b(a, 2), b(a, 1), b(inc, 1), b(feed, 2), b(feed, 1), b(map, 2), b(map, 1),
        b(part, 1)}},
      {2, {b(a, 2), b(a, 1), b(feed, 1), b(map, 1)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keep);
    testing::TempSite site({{"include.txt", "a.htm\n"},
                            {inc, "x\n"},
                            {a, "a\n"},
                            {"splicery.ini", ini},
                            {feed, "f\n"},
                            {map, "s\n"},
                            {part, "p\n"}});
    std::string journal(kJournalHeader);
    for (size_t r = 0; r < runs.size(); ++r) {
      journal += FormatRunLine(
          {r + 1, "2020-01-0" + std::to_string(r + 1) + "T00:00:00Z", {}, {}, r == 2});
      for (const JournalPage& page : runs[r]) {
        journal += FormatPageLine(r + 1, page);
        if (!page.created) testing::TempSite::Write(page.backup, "alt\n");
      }
    }
    testing::TempSite::Write(kJournalFile, journal);
    // Unknown to the journal and younger than its newest run: it may be that run's.
    testing::TempSite::Write(b(feed, 4), "neu\n");
    const std::vector<std::string> before = site.ListFiles();

    PosixFileSystem fs;
    Form form;
    ASSERT_TRUE(PruneBackups(form, fs, c.keep, false).ok);
    std::vector<std::string> left = before;
    for (const std::string& gone : c.removed) std::erase(left, gone);
    EXPECT_EQ(site.ListFiles(), left);
    const std::string compacted = testing::TempSite::Read(kJournalFile);
    for (const std::string& gone : c.removed) EXPECT_EQ(compacted.find(gone), std::string::npos);
    EXPECT_EQ(std::count(compacted.begin(), compacted.end(), '\n'),
              std::count(journal.begin(), journal.end(), '\n') - std::ssize(c.removed));

    testing::TempSite::Write("splicery.ini", ini + "[archiv]\n");
    EXPECT_FALSE(PruneBackups(form, fs, 1, false).ok);
    EXPECT_EQ(site.ListFiles(), left);
  }
}

}  // namespace
}  // namespace splicery
