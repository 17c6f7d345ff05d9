// SPDX-License-Identifier: GPL-3.0-or-later
// The update run against power cuts: cut after every operation of a run over a few pages, in
// both ways a disk can lose what was not flushed, and look at what a restart finds.
#include <gtest/gtest.h>

#include <optional>

#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "support/power_cut_file_system.h"
#include "update/update_run.h"

namespace splicery {
namespace {

using testing::Files;
using testing::Loss;
using testing::PowerCutFileSystem;

const std::string kMenu = "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n";

// a listed twice, b unchanged, d reached again through its hard link e (written in place).
Files Site() {
  return {{"include.txt", "a.htm\nb.htm\na.htm\nd.htm\ne.htm\n"},
          {"include.htm", "<!-- INCLUDE MENU --><a href='a.htm'>A</a>\n"},
          {"a.htm", kMenu + "alt a\n<!-- INCLUDE END -->\n"},
          {"b.htm", kMenu + "<a href='a.htm'>A</a>\n<!-- INCLUDE END -->\n"},
          {"d.htm", kMenu + "alt, und länger als die neue Seite d\n<!-- INCLUDE END -->\n"}};
}

PowerCutFileSystem MakeDisk(const Files& files) {
  PowerCutFileSystem disk(files);
  if (files.count("d.htm") && !files.count("e.htm")) disk.HardLink("d.htm", "e.htm");
  return disk;
}

size_t RunOnce(PowerCutFileSystem& disk, std::optional<std::pair<size_t, Loss>> cut = {}) {
  Form form;
  EXPECT_TRUE(RunStartupScan(form, disk).ok());
  const size_t start = disk.operations();
  if (cut) disk.CutAfter(cut->first, cut->second);
  RunUpdate(form, disk, RunMode::kWrite);
  return disk.operations() - start;
}

TEST(PowerCut, EveryPageKeepsItsOldBytesOrHasACompleteBackup) {
  Files old_site = Site();
  old_site["e.htm"] = old_site["d.htm"];
  PowerCutFileSystem reference = MakeDisk(Site());
  const size_t operations = RunOnce(reference);
  const Files new_site = reference.Disk();
  ASSERT_NE(new_site.at("a.htm"), old_site.at("a.htm"));
  ASSERT_EQ(new_site.at("e.htm"), new_site.at("d.htm"));
  EXPECT_TRUE(reference.SameFileOnDisk("d.htm", "e.htm"));  // the link is kept

  size_t cuts = 0;
  for (Loss loss : {Loss::kUnflushed, Loss::kDataOnly}) {
    for (size_t after = 0; after < operations; ++after, ++cuts) {
      SCOPED_TRACE("cut after operation " + std::to_string(after) +
                   (loss == Loss::kDataOnly ? ", names kept" : ", all unflushed lost"));
      PowerCutFileSystem disk = MakeDisk(Site());
      RunOnce(disk, std::make_pair(after, loss));
      const Files found = disk.Disk();
      // Both names of the linked page are still one file, whatever the cut.
      EXPECT_TRUE(disk.SameFileOnDisk("d.htm", "e.htm"));
      EXPECT_EQ(found.at("d.htm"), found.at("e.htm"));
      bool torn = false;
      for (const char* page : {"a.htm", "b.htm", "d.htm", "e.htm"}) {
        ASSERT_TRUE(found.count(page)) << page;
        const std::string& bytes = found.at(page);
        if (bytes == old_site.at(page)) continue;
        bool backed_up = false;  // e's old bytes may be backed up as d's: the same file
        for (const std::string& name : {std::string(page), std::string("d.htm")}) {
          for (int n = 1; n <= 3; ++n) {
            auto backup = found.find("splicery.sic/" + name + ". " + std::to_string(n) + ".htm");
            backed_up |= backup != found.end() && backup->second == old_site.at(page);
          }
        }
        EXPECT_TRUE(backed_up) << page;
        // Only a page written in place (hard-linked d and e) may be torn.
        const bool in_place = page[0] == 'd' || page[0] == 'e';
        EXPECT_TRUE(bytes == new_site.at(page) || in_place) << page << ": " << bytes;
        torn |= bytes != new_site.at(page);
      }
      if (torn) continue;  // its backup is there to restore it by hand
      // A restart runs again and finishes the job, leaving no temporary file.
      PowerCutFileSystem again(found);
      RunOnce(again);
      for (const auto& [path, bytes] : again.Disk()) {
        EXPECT_EQ(path.find(kTempMarker), std::string::npos) << path;
        if (new_site.count(path) && !path.starts_with("splicery.sic/")) {
          EXPECT_EQ(bytes, new_site.at(path)) << path;
        }
      }
    }
  }
  std::printf("%zu power cuts over %zu operations\n", cuts, operations);
}

}  // namespace
}  // namespace splicery
