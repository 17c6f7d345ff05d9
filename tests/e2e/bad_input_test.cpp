// SPDX-License-Identifier: GPL-3.0-or-later
// Bad input end to end: each case gets a clear German message or correct handling, and no
// page ever loses a byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::CliResult;
using testing::Files;
using testing::RunCli;
using testing::TempSite;

const std::string kMenu = "<!-- INCLUDE MENU -->";
const std::string kBlockOld = "<!-- INCLUDE START -->\n" + kMenu + "\nalt\n<!-- INCLUDE END -->\n";
const std::string kBlockNew = "<!-- INCLUDE START -->\n" + kMenu + "\nneu\n<!-- INCLUDE END -->\n";

struct PassCase {
  const char* name;
  std::string page;      // bytes of p.htm before
  std::string expected;  // and after
};

TEST(BadInput, OddBytesPassThroughUnchanged) {
  const std::string nul("a\0b\n", 4);
  const std::string long_line(10 << 20, 'x');
  const std::vector<PassCase> cases = {
      {"NUL bytes", nul + kBlockOld + nul, nul + kBlockNew + nul},
      {"invalid UTF-8",
       "\xFF\xFE\xC3(\n" + kBlockOld +
           "Stra\xDF"
           "e",
       "\xFF\xFE\xC3(\n" + kBlockNew +
           "Stra\xDF"
           "e"},
      {"a 10 MiB single line", long_line, long_line},
      {"a 10 MiB line before a block", long_line + "\n" + kBlockOld, long_line + "\n" + kBlockNew},
      {"a byte-order mark in a page", "\xEF\xBB\xBF" + kBlockOld, "\xEF\xBB\xBF" + kBlockNew},
  };
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site(
        {{"include.txt", "p.htm\n"}, {"include.htm", kMenu + "neu\n"}, {"p.htm", c.page}});
    CliResult r = RunCli({});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(TempSite::Read("p.htm"), c.expected);
    EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 1.htm"), c.page);
  }
}

TEST(BadInput, APageListedTwiceIsBackedUpTwiceAndUpdatedOnce) {
  TempSite site(
      {{"include.txt", "p.htm\np.htm\n"}, {"include.htm", kMenu + "neu\n"}, {"p.htm", kBlockOld}});
  EXPECT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(TempSite::Read("p.htm"), kBlockNew);
  EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 1.htm"), kBlockOld);
  EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 2.htm"), kBlockNew);
}

TEST(BadInput, ASymlinkedPageIsWrittenThroughAndStaysALink) {
  TempSite site(
      {{"include.txt", "p.htm\n"}, {"include.htm", kMenu + "neu\n"}, {"real/p.htm", kBlockOld}});
  ASSERT_EQ(::symlink("real/p.htm", "p.htm"), 0);
  EXPECT_EQ(RunCli({}).code, 0);
  struct stat st;
  ASSERT_EQ(::lstat("p.htm", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(TempSite::Read("real/p.htm"), kBlockNew);
  EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 1.htm"), kBlockOld);
}

TEST(BadInput, APagePathLeavingTheFolderGetsNoBackupOutsideIt) {
  TempSite outer({{"x.htm", kBlockOld},
                  {"site/include.htm", kMenu + "neu\n"},
                  {"site/include.txt", "../x.htm\n"},
                  {"site/x.htm. 1.htm", "other"}});
  ::mkdir("site/splicery.sic", 0755);
  CliResult r = RunCli({"-C", "site"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err,
            "FEHLER beim Zugriff auf ../x.htm\n"
            "splicery-cli: ../x.htm: Sicherung läge außerhalb von splicery.sic\n");
  EXPECT_EQ(TempSite::Read("x.htm"), kBlockOld);
  // Without the guard the copy would be "splicery.sic/../x.htm. 1.htm", outside the folder.
  EXPECT_EQ(outer.ListFiles(), (std::vector<std::string>{"site/include.htm", "site/include.txt",
                                                         "site/x.htm. 1.htm", "x.htm"}));
}

struct PermissionCase {
  const char* name;
  mode_t site_mode;
  mode_t page_mode;
  bool backup_folder_exists;
  std::string err;
};

// Runs as "nobody" when the tests run as root, so that permissions apply.
TEST(BadInput, UnwritablePagesAndFoldersKeepTheirBytes) {
  const std::vector<PermissionCase> cases = {
      {"read-only page", 0777, 0444, false,
       "FEHLER beim Schreiben von p.htm\nsplicery-cli: p.htm: keine Berechtigung\n"},
      {"read-only folder, backup folder writable", 0555, 0666, true,
       "FEHLER beim Schreiben von p.htm\nsplicery-cli: p.htm: keine Berechtigung\n"},
      {"read-only folder, no backup folder", 0555, 0666, false,
       "FEHLER beim Zugriff auf p.htm\n"
       "splicery-cli: splicery.sic: keine Berechtigung\n"},  // the folder could not be made
  };
  for (const PermissionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site(
        {{"include.txt", "p.htm\n"}, {"include.htm", kMenu + "neu\n"}, {"p.htm", kBlockOld}});
    if (c.backup_folder_exists) {
      ::mkdir("splicery.sic", 0777);
      ::chmod("splicery.sic", 0777);
    }
    ::chmod("p.htm", c.page_mode);
    // The runner's own page: a foreign one would be written in place, folder or not.
    if (::geteuid() == 0) (void)!::chown("p.htm", 65534, 65534);
    ::chmod("include.txt", 0644);
    ::chmod("include.htm", 0644);
    ::chmod(site.dir().c_str(), c.site_mode);
    testing::CliOptions as_nobody;
    as_nobody.drop_privileges = true;
    CliResult r = RunCli({}, as_nobody);
    ::chmod(site.dir().c_str(), 0755);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(TempSite::Read("p.htm"), kBlockOld);
    for (const std::string& file : site.ListFiles()) {
      EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
    }
  }
}

}  // namespace
}  // namespace splicery
