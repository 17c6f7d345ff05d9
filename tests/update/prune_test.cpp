// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/prune.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

std::string B(const std::string& page, const std::string& number) {
  return "splicery.sic/" + page + ". " + number + ".htm";
}

TEST(Prune, BackupNumbersAsARunWritesThem) {
  const std::pair<std::string, uint64_t> cases[] = {
      {B("a.htm", "1"), 1},   {B("a.htm", "17"), 17}, {B("a.htm", "01"), 0},
      {B("a.htm", "0"), 0},   {B("a.htm", "x"), 0},   {B("a.htm", ""), 0},
      {B("b.htm", "1"), 0},   {"splicery.sic/a.htm.1.htm", 0},
      {B("a.htm", "1") + ".htm", 0}, {B("a.htm", "99999999999999999999999"), 0},
  };
  for (const auto& [file, number] : cases) EXPECT_EQ(BackupNumber("a.htm", file), number) << file;
}

// Journaled backups are newer than the others, by their place in the journal (a number used
// again counts where it was used last); the others by time. The newest run's backups stay.
TEST(Prune, KeepsTheNewestAndWhatTheLastRunMade) {
  const std::vector<BackupFile> files = {
      {B("a.htm", "1"), 10}, {B("a.htm", "2"), 20}, {B("a.htm", "3"), 5},
      {B("a.htm", "4"), 30}, {B("a.htm", "05"), 1}, {B("b.htm", "1"), 1},
  };
  auto run = [](uint64_t n, std::optional<uint64_t> undoes, std::vector<std::string> backups) {
    JournalRun r{n, "t", undoes, {}};
    for (const std::string& b : backups) r.pages.push_back({"a.htm", b, 0, 1, {}});
    return r;
  };
  struct Case {
    std::vector<JournalRun> runs;
    size_t keep;
    std::vector<std::string> remove;
  };
  const std::vector<Case> cases = {
      {{}, 2, {B("a.htm", "1"), B("a.htm", "3")}},
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")})}, 2,
       {B("a.htm", "4"), B("a.htm", "2")}},
      // The page was listed twice in the newest run: both of its backups stay.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1"), B("a.htm", "2")})}, 1,
       {B("a.htm", "3"), B("a.htm", "4")}},
      // Run 2 is undone by run 3: run 3's backup is the one that stays.
      {{run(1, {}, {B("a.htm", "3")}), run(2, {}, {B("a.htm", "1")}),
        run(3, 2, {B("a.htm", "2")})}, 0,
       {B("a.htm", "1"), B("a.htm", "3"), B("a.htm", "4")}},
      {{run(1, {}, {B("a.htm", "3")})}, 10, {}},
  };
  for (const Case& c : cases) {
    const PrunePlan plan = PlanPrune({"a.htm", "a.htm"}, files, c.runs, c.keep);
    EXPECT_EQ(plan.remove, c.remove);
    EXPECT_EQ(plan.kept + plan.remove.size(), 4u);
  }
}

}  // namespace
}  // namespace splicery
