// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/backup_name.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/posix_file_system.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

// The name one search finds; the run's search (`listed`) finds the same, from one listing.
std::optional<std::string> FreeName(FileSystem& fs, std::string_view page, bool listed = false) {
  std::string name;
  if (listed ? !BackupNames(fs).Find(page, &name) : !FindFreeBackupName(fs, page, &name)) {
    return std::nullopt;
  }
  return name;
}

using testing::TempSite;

TEST(BackupName, IsPagePointBlankNumberHtmInsideTheBackupFolder) {
  const std::vector<std::tuple<std::string, size_t, std::optional<std::string>>> cases = {
      {"index.htm", 1, "splicery.sic/index.htm. 1.htm"},
      {"index.htm", 32768, "splicery.sic/index.htm. 32768.htm"},
      {"sub/page.htm", 2, "splicery.sic/sub/page.htm. 2.htm"},
      {"", 1, "splicery.sic/. 1.htm"},
      {" a b ", 3, "splicery.sic/ a b . 3.htm"},
      {"..a/b..htm", 1, "splicery.sic/..a/b..htm. 1.htm"},
      // ".." parts, resolved as written, may move within the backup folder but never out.
      {"sub/../a.htm", 1, "splicery.sic/sub/../a.htm. 1.htm"},
      {"sub/..", 1, "splicery.sic/sub/... 1.htm"},
      {"a/./b/../../c.htm", 1, "splicery.sic/a/./b/../../c.htm. 1.htm"},
      {"../other.htm", 1, std::nullopt},
      {"sub/../../x.htm", 1, std::nullopt},
      {"./../x.htm", 1, std::nullopt},
      {"a//../../x.htm", 1, std::nullopt},
  };
  for (const auto& [page, number, name] : cases) {
    SCOPED_TRACE(page);
    EXPECT_EQ(BackupName(page, number), name);
  }
}

TEST(BackupName, SearchTakesTheLowestNumberNoRegularFileHolds) {
  struct Case {
    std::vector<std::string> existing;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{}, "splicery.sic/p.htm. 1.htm"},
      {{"p.htm. 1.htm", "p.htm. 2.htm", "p.htm. 3.htm"}, "splicery.sic/p.htm. 4.htm"},
      {{"p.htm. 1.htm", "p.htm. 3.htm"}, "splicery.sic/p.htm. 2.htm"},
      {{"q.htm. 1.htm", "p.htm.1.htm"}, "splicery.sic/p.htm. 1.htm"},
      // "@": a symbolic link to a regular file, which holds the name as the file does.
      {{"@p.htm. 1.htm", "p.htm. 2.htm"}, "splicery.sic/p.htm. 3.htm"},
  };
  for (const Case& c : cases) {
    TempSite site;
    ::mkdir("splicery.sic", 0755);
    TempSite::Write("x", "x");
    for (const std::string& name : c.existing) {
      if (name[0] == '@') {
        ASSERT_EQ(::symlink("../x", ("splicery.sic/" + name.substr(1)).c_str()), 0);
      } else {
        TempSite::Write("splicery.sic/" + name, "x");
      }
    }
    PosixFileSystem fs;
    EXPECT_EQ(FreeName(fs, "p.htm"), c.expected);
    EXPECT_EQ(FreeName(fs, "p.htm", true), c.expected);
  }
  // The run's search gives each name once, and finds none at all without a backup folder.
  TempSite site;
  PosixFileSystem fs;
  BackupNames names(fs);
  std::string first, second;
  ASSERT_TRUE(names.Find("p.htm", &first).ok() && names.Find("p.htm", &second).ok());
  EXPECT_EQ(first + "|" + second, "splicery.sic/p.htm. 1.htm|splicery.sic/p.htm. 2.htm");
  // A name made under one spelling of the folder is taken under the other.
  ::mkdir("splicery.sic", 0755);
  BackupNames run(fs);
  std::string spelt, plain, dotted;
  ASSERT_TRUE(run.Find("./b.htm", &spelt).ok() && run.Find("a.htm", &plain).ok());
  TempSite::Write(plain, "x");
  ASSERT_TRUE(run.Find("./a.htm", &dotted).ok());
  EXPECT_EQ(dotted, "splicery.sic/./a.htm. 2.htm");
}

TEST(BackupName, FolderOrBrokenLinkCountsAsFreeAndAFailedTestIsNoName) {
  TempSite site;
  ::mkdir("splicery.sic", 0755);
  ::mkdir("splicery.sic/p.htm. 1.htm", 0755);
  ASSERT_EQ(::symlink("nowhere", "splicery.sic/p.htm. 2.htm"), 0);
  PosixFileSystem real;
  EXPECT_EQ(FreeName(real, "p.htm"), "splicery.sic/p.htm. 1.htm");
  EXPECT_EQ(FreeName(real, "p.htm", true), "splicery.sic/p.htm. 1.htm");

  testing::FaultFileSystem faulty(real);
  faulty.FailCall(testing::Op::kProbe, 0);
  EXPECT_EQ(FreeName(faulty, "p.htm"), std::nullopt);
  EXPECT_EQ(FreeName(faulty, "../p.htm"), std::nullopt);
}

TEST(BackupName, NumbersAsARunWritesThem) {
  const auto b = [](const std::string& page, const std::string& number) {
    return "splicery.sic/" + page + ". " + number + ".htm";
  };
  const std::pair<std::string, uint64_t> cases[] = {
      {b("a.htm", "1"), 1},          {b("a.htm", "17"), 17},
      {b("a.htm", "01"), 0},         {b("a.htm", "0"), 0},
      {b("a.htm", "x"), 0},          {b("a.htm", ""), 0},
      {b("b.htm", "1"), 0},          {"splicery.sic/a.htm.1.htm", 0},
      {b("a.htm", "1") + ".htm", 0}, {b("a.htm", "99999999999999999999999"), 0},
      {b("sub/a.htm", "3"), 0},
  };
  for (const auto& [file, number] : cases) EXPECT_EQ(BackupNumber("a.htm", file), number) << file;
}

}  // namespace
}  // namespace splicery
