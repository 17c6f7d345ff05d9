// SPDX-License-Identifier: GPL-3.0-or-later
// The move to UTF-8 against failing operations and power cuts: it stops like an update run,
// with the files before the failure converted and the later ones untouched, every file's old
// bytes in a backup, and an undo that brings every byte back.
#include "update/to_utf8.h"

#include <gtest/gtest.h>

#include <map>

#include "files/posix_file_system.h"
#include "history/undo.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/power_cut_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::Op;
using testing::TempSite;

const std::string kBlock =
    "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nalt\n<!-- INCLUDE END -->\n";

// Every file in windows-1252: include.htm told by its bytes, pages declared both ways and not
// at all.
Files Site() {
  return {
      {"include.txt", "a.htm\nb.htm\nc.htm\n"},
      {"include.htm",
       "<!-- INCLUDE MENU --><a href='a.htm'>\xDC"
       "ber uns</a>\n"},
      {"a.htm", "<head><meta charset=\"windows-1252\">\n" + kBlock + "M\xFChle\n"},
      {"b.htm", kBlock + "Stra\xDF"
                         "e\n"},
      {"c.htm", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n" +
                    kBlock +
                    "\x84"
                    "Gr\xFC\xDF"
                    "e\x93\n"}};
}
const char* const kConverted[] = {"include.htm", "a.htm", "b.htm", "c.htm"};

// Every file holds its old bytes or the complete move's, the moved ones a prefix of the
// order the move takes them in, each with its old bytes in a backup. Returns how many moved.
size_t CheckEveryFileOldOrNew(const Files& found, const Files& moved) {
  size_t news = 0;
  for (size_t i = 0; i < std::size(kConverted); ++i) {
    const char* file = kConverted[i];
    SCOPED_TRACE(file);
    const std::string& bytes = found.at(file);
    if (bytes == Site().at(file)) continue;
    EXPECT_EQ(bytes, moved.at(file));
    EXPECT_EQ(news++, i);
    bool backed_up = false;
    for (const auto& [path, kept] : found) {
      backed_up |= path.starts_with("splicery.sic/") && kept == Site().at(file);
    }
    EXPECT_TRUE(backed_up);
  }
  return news;
}

TEST(ToUtf8, EveryFailingOperationStopsLikeARun) {
  PosixFileSystem real;
  std::map<Op, size_t> calls;
  Files moved;
  {
    TempSite site(Site());
    testing::FaultFileSystem counter(real);
    Form form;
    ASSERT_TRUE(RunStartupScan(form, real).ok());
    ASSERT_TRUE(MoveSiteToUtf8(form, counter, RunMode::kWrite).run.failure.ok());
    for (Op op : testing::kAllOps) calls[op] = counter.Calls(op);
    moved = site.Snapshot();
  }
  for (const auto& [op, count] : calls) {
    for (size_t nth = 0; nth < count; ++nth) {
      SCOPED_TRACE(std::string(testing::OpName(op)) + " #" + std::to_string(nth));
      TempSite site(Site());
      testing::FaultFileSystem fs(real);
      Form form;
      ASSERT_TRUE(RunStartupScan(form, real).ok());
      fs.FailCall(op, nth, ENOSPC);
      const MoveResult result = MoveSiteToUtf8(form, fs, RunMode::kWrite);
      const Files found = site.Snapshot();
      for (const auto& [path, bytes] : found) {
        EXPECT_EQ(path.find(".splicery-tmp-"), std::string::npos) << path;
      }
      const size_t news = CheckEveryFileOldOrNew(found, moved);
      // An existing folder is no failure, and a file that cannot be identified is converted
      // as one not met before; nor are the lines after the commit saying which files were
      // written (readers do without them).
      if (op == Op::kMakeDirectory || op == Op::kIdentify) continue;
      if (op == Op::kAppendFile && nth + 1 == count) continue;
      EXPECT_FALSE(result.run.failure.ok());
      EXPECT_TRUE(form.Label3().starts_with("FEHLER")) << form.Label3();
      // A backup that cannot be made stops at its file; the files before it are moved.
      if (op == Op::kLinkFile) {
        EXPECT_EQ(news, nth);
      }
      // The undo takes back what was moved.
      Form undo;
      UndoLastRun(undo, real, false);
      for (const char* file : kConverted) EXPECT_EQ(TempSite::Read(file), Site().at(file)) << file;
    }
  }
  // Every file is replaced by rename: its old file becomes the backup, nothing is copied.
  EXPECT_EQ(calls[Op::kLinkFile], 4u);
  EXPECT_EQ(calls[Op::kCreateFile], 0u);
}

TEST(ToUtf8, EveryFileKeepsItsOldBytesOrIsMovedAcrossPowerCuts) {
  // The number of operations the move makes, after the scan.
  const auto move = [](testing::PowerCutFileSystem& disk, size_t cut, testing::Loss loss) {
    Form form;
    EXPECT_TRUE(RunStartupScan(form, disk).ok());
    const size_t start = disk.operations();
    if (cut != SIZE_MAX) disk.CutAfter(cut, loss);
    MoveSiteToUtf8(form, disk, RunMode::kWrite);
    return disk.operations() - start;
  };
  testing::PowerCutFileSystem reference(Site());
  const size_t operations = move(reference, SIZE_MAX, testing::Loss::kUnflushed);
  const Files moved = reference.Disk();
  ASSERT_NE(moved.at("c.htm"), Site().at("c.htm"));
  for (testing::Loss loss : {testing::Loss::kUnflushed, testing::Loss::kDataOnly}) {
    for (size_t after = 0; after < operations; ++after) {
      SCOPED_TRACE("cut after operation " + std::to_string(after));
      testing::PowerCutFileSystem disk(Site());
      move(disk, after, loss);
      CheckEveryFileOldOrNew(disk.Disk(), moved);
    }
  }
}

}  // namespace
}  // namespace splicery
