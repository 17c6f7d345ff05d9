// SPDX-License-Identifier: GPL-3.0-or-later
// splicery-cli end to end: the built binary on scratch sites, its output streams and exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::TempSite;

using Result = testing::CliResult;
using testing::RunCli;

const Files kSite = {
    {"include.txt", "a.htm\nb.htm\n"},
    {"include.htm", "<!-- INCLUDE MENU -->m\n"},
    {"a.htm", "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nold\n<!-- INCLUDE END -->\n"},
    {"b.htm", "<p>no blocks</p>\n"},
};

const std::string kScanOut =
    " 2 Dateien werden bearbeitet\n 1 Include-Zeilen in INCLUDE.HTM gefunden\n"
    "Datei a.htm wird bearbeitet\nDatei b.htm wird bearbeitet\n";

TEST(Cli, UpdatesASiteThenCheckFindsItCurrent) {
  TempSite site(kSite);
  Result run = RunCli({});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, kScanOut +
                         "Datei a.htm wird bearbeitet\nDatei a.htm wird geschrieben\n"
                         "Datei b.htm wird bearbeitet\nDatei b.htm wird geschrieben\n"
                         "INCLUDE wurde erfolgreich durchgeführt\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(TempSite::Read("a.htm"),
            "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nm\n<!-- INCLUDE END -->\n");

  Result check = RunCli({"--check"});
  EXPECT_EQ(check.code, 0);
  EXPECT_EQ(check.out, kScanOut + "Alle Dateien sind aktuell\n");
}

TEST(Cli, CheckOnAStaleSiteWritesNothingAtAll) {
  TempSite site(kSite);
  Result check = RunCli({"--check"});
  EXPECT_EQ(check.code, 1);
  EXPECT_EQ(check.out, kScanOut + "Datei a.htm ist nicht aktuell\n");
  EXPECT_EQ(check.err, "");
  EXPECT_EQ(site.Snapshot(), kSite);
}

TEST(Cli, WorksInTheFolderGivenWithDashC) {
  TempSite outer;
  ::mkdir("site", 0755);
  for (const auto& [path, bytes] : kSite) TempSite::Write("site/" + path, bytes);
  Result check = RunCli({"--check", "-C", "site"});
  EXPECT_EQ(check.code, 1);
  EXPECT_EQ(check.out, kScanOut + "Datei a.htm ist nicht aktuell\n");
  Result run = RunCli({"-C", "site"});
  EXPECT_EQ(run.code, 0);
  EXPECT_TRUE(TempSite::Exists("site/splicery.sic/a.htm. 1.htm"));
  EXPECT_FALSE(TempSite::Exists("splicery.sic"));
}

struct FailureCase {
  const char* name;
  Files change;
  std::vector<std::string> args;
  std::string err;
  std::string out_tail;  // the end of standard output
};

// The open block starts on line 4; lines end in LF and CRLF alike.
const std::string kUnpaired =
    "x\r\n<!-- INCLUDE START -->\n<!-- INCLUDE END -->\r\n<!-- INCLUDE START -->\ny\n";

TEST(Cli, FailuresGoToStandardErrorWithExitOne) {
  const std::vector<FailureCase> cases = {
      {"include.txt missing",
       {{"include.txt", ""}},
       {},
       "FEHLER beim Lesen von INCLUDE.TXT\nsplicery-cli: include.txt: nicht vorhanden\n",
       ""},
      {"include.htm missing",
       {{"include.htm", ""}},
       {},
       "FEHLER beim Lesen von INCLUDE.HTM\nsplicery-cli: include.htm: nicht vorhanden\n",
       " 2 Dateien werden bearbeitet\n"},
      {"page missing at scan",
       {{"include.txt", "a.htm\nnope.htm\nb.htm\n"}},
       {},
       "FEHLER beim Lesen von nope.htm\nsplicery-cli: nope.htm: nicht vorhanden\n",
       "Datei nope.htm wird bearbeitet\n"},
      {"empty line in include.txt",
       {{"include.txt", "a.htm\n\nb.htm\n"}},
       {},
       "FEHLER beim Lesen von \nsplicery-cli: (leerer Dateiname): nicht vorhanden\n",
       "Datei  wird bearbeitet\n"},
      {"markers do not pair",
       {{"b.htm", kUnpaired}},
       {},
       "FEHLER: INCLUDE START/END paßt nicht in b.htm\n"
       "splicery-cli: b.htm:4: INCLUDE START ohne INCLUDE END\n",
       "Datei b.htm wird bearbeitet\n"},
      {"markers do not pair, check mode",
       {{"b.htm", kUnpaired}},
       {"--check"},
       "FEHLER: INCLUDE START/END paßt nicht in b.htm\n"
       "splicery-cli: b.htm:4: INCLUDE START ohne INCLUDE END\n",
       "Datei a.htm ist nicht aktuell\n"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Files files = kSite;
    for (const auto& [path, bytes] : c.change) {
      if (bytes.empty()) {
        files.erase(path);
      } else {
        files[path] = bytes;
      }
    }
    TempSite site(files);
    Result r = RunCli(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(r.out.ends_with(c.out_tail)) << r.out;
    EXPECT_EQ(r.out.find("INCLUDE wurde erfolgreich"), std::string::npos);
    EXPECT_EQ(r.out.find("Alle Dateien sind aktuell"), std::string::npos);
    // Both streams into one file: every failure line comes after every status line.
    testing::CliOptions merged;
    merged.merge_output = true;
    EXPECT_EQ(testing::RunCli(c.args, merged).out, r.out + r.err);
  }
}

TEST(Cli, AScanFailureWritesNothing) {
  Files files = kSite;
  files["include.txt"] = "a.htm\nnope.htm\n";
  TempSite site(files);
  EXPECT_EQ(RunCli({}).code, 1);
  EXPECT_EQ(site.Snapshot(), files);
}

TEST(Cli, BadCommandLinesExitTwoWithUsage) {
  TempSite site(kSite);
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"-C"},
      {"-C", "no-such-dir"},
      {"-C", "a.htm"},
      {"--check", "--check"},
      {"-C", ".", "-C", "."},
      {"extra"},
      {"--diff", "--check"},
      {"--lint", "--diff"},
      {"--lint", "--lint"},
      {"--to-utf8", "--lint"},
      {"--undo", "--to-utf8"},
      {"--check", "--diff", "--to-utf8"},
      {"--to-utf8", "--diff", "--diff"},
      {"--diff", "--to-utf8", "--to-utf8"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Result r = RunCli(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Aufruf: splicery-cli"), std::string::npos) << r.err;
  }
  EXPECT_NE(RunCli({"-C", "no-such-dir"}).err.find("no-such-dir kann nicht betreten werden"),
            std::string::npos);
  EXPECT_EQ(site.Snapshot(), kSite);
}

// --help and --version go with -C alone (its folder is not even entered); beside an action
// they are a bad command line.
TEST(Cli, HelpAndVersion) {
  TempSite site;
  Result version = RunCli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "Splicery V. 1.0\n");
  Result help = RunCli({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--check"), std::string::npos);
  EXPECT_NE(help.out.find("Rückgabewerte"), std::string::npos);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-C", "fehlt", "--version"}, {"--help", "-C", "fehlt"}}) {
    EXPECT_EQ(RunCli(args).code, 0) << ::testing::PrintToString(args);
  }
  for (const std::string info : {"--help", "--version"}) {
    for (const std::vector<std::string>& action :
         std::vector<std::vector<std::string>>{{"--check"},
                                               {"--diff"},
                                               {"--lint"},
                                               {"--undo"},
                                               {"--prune", "2"},
                                               {"--check", "--undo"}}) {
      std::vector<std::string> args = action;
      args.insert(args.begin() + (info == "--help" ? 0 : args.size()), info);
      SCOPED_TRACE(::testing::PrintToString(args));
      Result r = RunCli(args);
      EXPECT_EQ(r.code, 2);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find("gehen nicht zusammen\nAufruf: splicery-cli"), std::string::npos)
          << r.err;
    }
  }
  EXPECT_EQ(site.ListFiles(), std::vector<std::string>{});
}

// One run at a time: a second one says once that it waits, then runs as usual. Temporary
// files a killed run left are removed, those someone still holds are not.
TEST(Cli, SecondRunWaitsForTheFirstAndClearsLeftovers) {
  TempSite site(kSite);
  TempSite::Write(".a.htm.splicery-tmp-99999-0", "left by a killed run");
  TempSite::Write(".b.htm.splicery-tmp-99999-1", "still being written");
  TempSite::Write(".a.htm.splicery-tmp-notours", "someone else's");
  const int held = ::open(".b.htm.splicery-tmp-99999-1", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const int first_run = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(first_run, LOCK_EX), 0);
  struct stat folder {};
  ASSERT_EQ(::fstat(first_run, &folder), 0);
  std::thread first_ends([first_run, &folder] {
    // The first run ends once the second waits for it (the kernel lists the waiter), so that
    // a slow start of the second cannot miss the wait.
    const std::string mine = ":" + std::to_string(folder.st_ino) + " ";
    for (int i = 0; i < 1000; ++i) {
      std::ifstream locks("/proc/locks");
      std::string line;
      bool waits = false;
      while (std::getline(locks, line))
        waits |= line.find("->") != line.npos && line.find(mine) != line.npos;
      if (waits) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(first_run);
  });
  Result second = RunCli({});
  first_ends.join();
  ::close(held);
  EXPECT_EQ(second.code, 0);
  EXPECT_EQ(second.out, kScanOut +
                            "Warte auf einen anderen Lauf in diesem Ordner ...\n"
                            "Datei a.htm wird bearbeitet\nDatei a.htm wird geschrieben\n"
                            "Datei b.htm wird bearbeitet\nDatei b.htm wird geschrieben\n"
                            "INCLUDE wurde erfolgreich durchgeführt\n");
  EXPECT_FALSE(TempSite::Exists(".a.htm.splicery-tmp-99999-0"));
  EXPECT_TRUE(TempSite::Exists(".b.htm.splicery-tmp-99999-1"));
  EXPECT_TRUE(TempSite::Exists(".a.htm.splicery-tmp-notours"));
}

}  // namespace
}  // namespace splicery
