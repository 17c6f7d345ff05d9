// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"
#include "update/journal.h"

namespace splicery {
namespace {

using testing::Files;
using testing::Op;
using testing::TempSite;

const std::string kInclude =
    "<!-- INCLUDE MENU --><a href='a.htm'>A</a>\n"
    "<!-- INCLUDE NEWS --><li><!-- NEWS DATE --> <!-- NEWS NAME --></li>\n";

std::string StalePage(const std::string& date) {
  return "<html>\r\n<!-- INCLUDE START -->\r\n<!-- INCLUDE MENU -->\r\nold\r\n"
         "<!-- INCLUDE END -->\r\n<p><!-- STAND START -->" +
         date + "<!--T" + date + "--></p>";
}

std::string FreshPage(const std::string& date) {
  return "<html>\r\n<!-- INCLUDE START -->\r\n<!-- INCLUDE MENU -->\r\n<a href='a.htm'>A</a>\r\n"
         "<!-- INCLUDE END -->\r\n<p><!-- STAND START -->" +
         date + "<!--T" + date + "--></p>";
}

// Three stale pages; the news page lists them all.
Files ThreePageSite() {
  return {{"include.txt", "a.htm\nb.htm\nc.htm\n"},
          {"include.htm", kInclude},
          {"a.htm", StalePage("01.01.2001")},
          {"b.htm", StalePage("02.02.2002") + "\n<!-- INCLUDE START -->\n<!-- INCLUDE NEWS -->\n"
                                              "<!-- INCLUDE END -->\n"},
          {"c.htm", StalePage("03.03.2003")}};
}

// Whether two names lead to one file.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

std::string Backup(const std::string& page, int n) {
  return "splicery.sic/" + page + ". " + std::to_string(n) + ".htm";
}

// No page shares its file with a backup, and every backup holds the page's original bytes.
void ExpectOwnBackups(const Files& original) {
  for (const char* page : {"a.htm", "b.htm", "c.htm"}) {
    for (int n = 1; n <= 2 && TempSite::Exists(Backup(page, n)); ++n) {
      EXPECT_FALSE(SameFile(page, Backup(page, n))) << Backup(page, n);
      EXPECT_EQ(TempSite::Read(Backup(page, n)), original.at(page)) << Backup(page, n);
    }
  }
}

struct Session {
  Form form;
  std::vector<std::string> label3, label4;
  Session() {
    form.SetListener([this](LabelId id, std::string_view text, TextKind) {
      (id == LabelId::kLabel3 ? label3 : label4).emplace_back(text);
    });
  }
  RunResult Start(FileSystem& fs) {
    EXPECT_TRUE(RunStartupScan(form, fs).ok());
    label3.clear();
    return RunUpdate(form, fs, RunMode::kWrite);
  }
};

// A free name from the listing that is taken after all (here the listing misses a backup of
// each page and a file the listing cannot see, as in a folder that ignores letter case): the
// backup goes to the next name, changed or not.
TEST(UpdateRun, ABackupNameTakenAfterAllGoesToTheNext) {
  struct Blind : testing::FaultFileSystem {
    using FaultFileSystem::FaultFileSystem;
    Status ListNames(const std::string&, std::vector<FolderEntry>* entries) override {
      entries->clear();
      return {};
    }
  };
  for (const bool current : {false, true}) {
    SCOPED_TRACE(current ? "current" : "stale");
    TempSite site(ThreePageSite());
    ::mkdir("splicery.sic", 0755);
    for (const char* page : {"a.htm", "b.htm", "c.htm"}) TempSite::Write(Backup(page, 1), "x");
    if (current) TempSite::Write("include.htm", "<!-- INCLUDE MENU -->old\n");
    PosixFileSystem real;
    Blind blind(real);
    Session run;
    EXPECT_EQ(run.Start(blind).outcome, RunOutcome::kSuccess);
    for (const char* page : {"a.htm", "b.htm", "c.htm"}) {
      EXPECT_EQ(TempSite::Read(Backup(page, 1)), "x");
      EXPECT_EQ(TempSite::Read(Backup(page, 2)), ThreePageSite().at(page));
    }
  }
}

TEST(UpdateRun, BacksUpRewritesAndReportsSuccess) {
  TempSite site(ThreePageSite());
  PosixFileSystem fs;
  Session run;
  EXPECT_EQ(run.Start(fs).outcome, RunOutcome::kSuccess);
  EXPECT_EQ(TempSite::Read("a.htm"), FreshPage("01.01.2001"));
  EXPECT_EQ(TempSite::Read("b.htm"),
            FreshPage("02.02.2002") +
                "\n<!-- INCLUDE START -->\n<!-- INCLUDE NEWS -->\n<li>03.03.2003 T03.03.2003</li>\n"
                "<li>02.02.2002 T02.02.2002</li>\n<li>01.01.2001 T01.01.2001</li>\n"
                "<!-- INCLUDE END -->\n");
  EXPECT_EQ(TempSite::Read("splicery.sic/a.htm. 1.htm"), StalePage("01.01.2001"));
  EXPECT_EQ(TempSite::Read("splicery.sic/c.htm. 1.htm"), StalePage("03.03.2003"));
  EXPECT_EQ(run.label3,
            (std::vector<std::string>{"Datei a.htm wird bearbeitet", "Datei a.htm wird geschrieben",
                                      "Datei b.htm wird bearbeitet", "Datei b.htm wird geschrieben",
                                      "Datei c.htm wird bearbeitet", "Datei c.htm wird geschrieben",
                                      "INCLUDE wurde erfolgreich durchgeführt"}));
  EXPECT_EQ(run.form.Label4(), "");
  EXPECT_FALSE(run.form.Command1Enabled);

  // A second program start and run: pages byte-identical, new backups numbered 2.
  Files before = site.Snapshot();
  Session again;
  EXPECT_EQ(again.Start(fs).outcome, RunOutcome::kSuccess);
  for (const char* page : {"a.htm", "b.htm", "c.htm"}) {
    EXPECT_EQ(TempSite::Read(page), before[page]);
    EXPECT_EQ(TempSite::Read("splicery.sic/" + std::string(page) + ". 2.htm"), before[page]);
  }
}

TEST(UpdateRun, EmptyTargetListStillCreatesTheBackupFolder) {
  TempSite site({{"include.txt", ""}, {"include.htm", ""}});
  PosixFileSystem fs;
  Session run;
  EXPECT_EQ(run.Start(fs).outcome, RunOutcome::kSuccess);
  EXPECT_EQ(run.form.Label3(), "INCLUDE wurde erfolgreich durchgeführt");
  EXPECT_EQ(run.form.Label4(), "");
  EXPECT_FALSE(run.form.Command1Enabled);
  struct stat st;
  EXPECT_EQ(::stat("splicery.sic", &st), 0);
}

TEST(UpdateRun, UnchangedPagesKeepTheirModificationTimeButAreBackedUp) {
  TempSite site(
      {{"include.txt", "a.htm"}, {"include.htm", kInclude}, {"a.htm", FreshPage("1.1.1")}});
  struct utimbuf old_time {
    1000000000, 1000000000
  };
  ASSERT_EQ(::utime("a.htm", &old_time), 0);
  PosixFileSystem fs;
  Session run;
  EXPECT_EQ(run.Start(fs).outcome, RunOutcome::kSuccess);
  struct stat st;
  ASSERT_EQ(::stat("a.htm", &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_TRUE(TempSite::Exists("splicery.sic/a.htm. 1.htm"));
  EXPECT_EQ(run.label3[1], "Datei a.htm wird geschrieben");
}

TEST(UpdateRun, LineEndingsRoundTripByteForByte) {
  const std::vector<std::string> pages = {
      "",
      "a",
      "a\n",
      "a\r\n",
      "a\nb\r\nc",
      "a\r\nb\r\n\r\n",
      "x\ry\n",
      "<!-- INCLUDE START -->\r\n<!-- INCLUDE MENU -->\r\n<a href='a.htm'>A</a>\r\n<!-- INCLUDE "
      "END -->",
      "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n<a href='a.htm'>A</a>\n<!-- INCLUDE END "
      "-->\n",
  };
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    TempSite site({{"include.txt", "p.htm"}, {"include.htm", kInclude}, {"p.htm", page}});
    PosixFileSystem fs;
    Session run;
    EXPECT_EQ(run.Start(fs).outcome, RunOutcome::kSuccess);
    EXPECT_EQ(TempSite::Read("p.htm"), page);
    EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 1.htm"), page);
  }
}

struct StopCase {
  const char* name;
  std::string page_b;  // the middle page's path
  std::string expected;
  RunOutcome outcome;
  bool backup_of_b;
  std::string reason = "";  // the reason line, where the row pins it
};

// A stop leaves the pages before it rewritten, the failing page as it was and the pages after
// it untouched (not even backed up); the button stays disabled.
TEST(UpdateRun, StopsAtTheFailingPage) {
  const std::vector<StopCase> cases = {
      {"missing page", "missing.htm", "FEHLER beim Zugriff auf missing.htm",
       RunOutcome::kAccessFailure, false},
      {"empty path", "", "FEHLER beim Zugriff auf ", RunOutcome::kAccessFailure, false},
      {"folder part without backup subfolder", "sub/b.htm", "FEHLER beim Zugriff auf sub/b.htm",
       RunOutcome::kAccessFailure, false},
      {"page that is a folder", "dir.htm", "FEHLER beim Zugriff auf dir.htm",
       RunOutcome::kAccessFailure, false},
      // ../b.htm exists: the site lies in a folder below the scratch folder.
      {"page outside the backup folder's reach", "../b.htm", "FEHLER beim Zugriff auf ../b.htm",
       RunOutcome::kAccessFailure, false, "Sicherung läge außerhalb von splicery.sic"},
      {"marker failure END,START", "bad.htm", "FEHLER: INCLUDE START/END paßt nicht in bad.htm",
       RunOutcome::kMarkerFailure, true},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    Files files = ThreePageSite();
    files["include.txt"] = "a.htm\n" + c.page_b + "\nc.htm\n";
    files["sub/b.htm"] = StalePage("1.1.1");
    files["bad.htm"] = "x\n<!-- INCLUDE END -->\n<!-- INCLUDE START -->\ny\n";
    files["dir.htm/inner"] = "";
    Files scratch = {{"b.htm", StalePage("2.2.2")}};
    for (const auto& [path, bytes] : files) scratch["site/" + path] = bytes;
    TempSite site(scratch);
    ASSERT_EQ(::chdir("site"), 0);
    PosixFileSystem fs;
    Form form;
    RunStartupScan(form, fs);
    const RunResult result = RunUpdate(form, fs, RunMode::kWrite);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(form.Label3(), c.expected);
    if (!c.reason.empty()) {
      EXPECT_EQ(msg::Reason(result.failure), c.reason);
    }
    EXPECT_EQ(form.Label4(), "<p><!-- STAND START -->01.01.2001<!--T01.01.2001--></p>");
    EXPECT_FALSE(form.Command1Enabled);
    EXPECT_EQ(TempSite::Read("a.htm"), FreshPage("01.01.2001"));
    EXPECT_EQ(TempSite::Read("c.htm"), StalePage("03.03.2003"));
    EXPECT_EQ(TempSite::Read("sub/b.htm"), StalePage("1.1.1"));
    EXPECT_EQ(TempSite::Read("bad.htm"), files["bad.htm"]);
    EXPECT_EQ(TempSite::Exists("splicery.sic/" + c.page_b + ". 1.htm"), c.backup_of_b);
    EXPECT_FALSE(TempSite::Exists("splicery.sic/c.htm. 1.htm"));
    EXPECT_FALSE(TempSite::Exists("b.htm. 1.htm"));
    EXPECT_FALSE(TempSite::Exists("../b.htm. 1.htm"));
    EXPECT_EQ(TempSite::Read("../b.htm"), StalePage("2.2.2"));
    ASSERT_EQ(::chdir(".."), 0);
  }
}

TEST(UpdateRun, CheckModeWritesNothingAndNamesStalePages) {
  Files files = ThreePageSite();
  files["a.htm"] = FreshPage("01.01.2001");
  TempSite site(files);
  PosixFileSystem fs;
  Session run;
  ASSERT_TRUE(RunStartupScan(run.form, fs).ok());
  run.label3.clear();
  RunResult result = RunUpdate(run.form, fs, RunMode::kCheck);
  EXPECT_EQ(result.outcome, RunOutcome::kSuccess);
  EXPECT_EQ(result.stale_pages, 2u);
  EXPECT_EQ(run.label3, (std::vector<std::string>{"Datei b.htm ist nicht aktuell",
                                                  "Datei c.htm ist nicht aktuell"}));
  EXPECT_EQ(site.Snapshot(), files);

  // After a real run the check finds nothing.
  Form writer;
  RunStartupScan(writer, fs);
  RunUpdate(writer, fs, RunMode::kWrite);
  Session check;
  RunStartupScan(check.form, fs);
  check.label3.clear();
  EXPECT_EQ(RunUpdate(check.form, fs, RunMode::kCheck).stale_pages, 0u);
  EXPECT_EQ(check.label3, std::vector<std::string>{"Alle Dateien sind aktuell"});
}

// Every operation the run performs, failed in turn, keyed by what it is and the file it
// concerns: the status text it stops with, and which pages end new (the others keep their old
// bytes). A stop commits the pages before it; the barrier before any page is replaced stops
// at the first page; the one after all of them leaves every page new but still says which
// batch it could not make durable.
TEST(UpdateRun, EveryFailingOperationStopsCleanly) {
  struct Row {
    Op op;
    std::string file;
    size_t nth;  // among the calls of this kind on this file
    std::string label3;
    std::string new_pages;  // first letters
  };
  const std::string access = "FEHLER beim Zugriff auf ", write = "FEHLER beim Schreiben von ";
  const std::string journal = "splicery.sic/journal.tsv";
  const auto backup = [](const char* page) {
    return std::string("splicery.sic/") + page + ". 1.htm";
  };
  const std::vector<Row> rows = {
      {Op::kLockFolder, ".", 0, access + ".", ""},
      // An existing folder is no failure; here the backup then finds none. A changed page's
      // backup is its old file under the backup's name: a link, no copy.
      {Op::kMakeDirectory, "splicery.sic", 0, access + "a.htm", ""},
      // The journal is probed before any page is backed up.
      {Op::kProbeWrite, journal, 0, access + journal, ""},
      {Op::kReadPage, "a.htm", 0, access + "a.htm", ""},
      // The backup folder is looked at and listed once for free names; where it cannot be,
      // each name is tested on its own.
      {Op::kIdentify, "splicery.sic", 0, "", "abc"},
      {Op::kListFolder, "splicery.sic", 0, "", "abc"},
      {Op::kLinkFile, backup("a.htm"), 0, access + "a.htm", ""},
      // The journal is read and opened at the first backup, and written before the commit.
      {Op::kReadFile, journal, 0, access + journal, ""},
      {Op::kAppendFile, journal, 0, access + journal, ""},
      {Op::kWriteTemp, "a.htm", 0, write + "a.htm", ""},
      {Op::kReadPage, "b.htm", 0, access + "b.htm", "a"},
      {Op::kLinkFile, backup("b.htm"), 0, access + "b.htm", "a"},
      {Op::kWriteTemp, "b.htm", 0, write + "b.htm", "a"},
      {Op::kReadPage, "c.htm", 0, access + "c.htm", "ab"},
      {Op::kLinkFile, backup("c.htm"), 0, access + "c.htm", "ab"},
      {Op::kWriteTemp, "c.htm", 0, write + "c.htm", "ab"},
      {Op::kAppendFile, journal, 1, access + journal, ""},
      {Op::kFlush, ".", 0, write + "a.htm", ""},
      {Op::kPutInPlace, "a.htm", 0, write + "a.htm", ""},
      {Op::kPutInPlace, "b.htm", 0, write + "b.htm", "a"},
      {Op::kPutInPlace, "c.htm", 0, write + "c.htm", "ab"},
      {Op::kFlush, ".", 1, write + "c.htm", "abc"},
      // The lines after the commit saying which pages were written: readers do without them.
      {Op::kAppendFile, journal, 2, "", "abc"},
  };
  PosixFileSystem real;
  const Files original = ThreePageSite();
  std::vector<std::pair<Op, std::string>> performed;
  {
    TempSite site(original);
    testing::FaultFileSystem counter(real);
    Form form;
    RunStartupScan(form, real);
    RunUpdate(form, counter, RunMode::kWrite);
    performed = counter.log();
  }
  // Every operation the run performs has its row, and every row is one the run performs.
  std::map<std::pair<Op, std::string>, size_t> seen;
  std::set<std::tuple<Op, std::string, size_t>> keys;
  for (const auto& [op, file] : performed) keys.insert({op, file, seen[{op, file}]++});
  std::set<std::tuple<Op, std::string, size_t>> row_keys;
  for (const Row& row : rows) row_keys.insert({row.op, row.file, row.nth});
  EXPECT_EQ(row_keys, keys);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(testing::OpName(row.op)) + " " + row.file + " #" +
                 std::to_string(row.nth));
    TempSite site(original);
    testing::FaultFileSystem fs(real);
    Form form;
    ASSERT_TRUE(RunStartupScan(form, real).ok());
    fs.FailPathCall(row.op, row.file, row.nth, ENOSPC);
    const RunResult result = RunUpdate(form, fs, RunMode::kWrite);
    EXPECT_FALSE(form.Command1Enabled);
    if (row.label3.empty()) {
      EXPECT_EQ(result.outcome, RunOutcome::kSuccess);
    } else {
      ASSERT_NE(result.outcome, RunOutcome::kSuccess);
      EXPECT_EQ(form.Label3(), row.label3);
      // The system's reason travels with the failure, for the front ends to show.
      EXPECT_EQ(msg::Reason(result.failure), "kein Platz auf dem Datenträger");
    }
    for (const char* p : {"a.htm", "b.htm", "c.htm"}) {
      const bool renewed = row.new_pages.find(p[0]) != std::string::npos;
      EXPECT_EQ(TempSite::Read(p) != original.at(p), renewed) << p;
    }
    ExpectOwnBackups(original);  // a page linked but not renamed got a copy back
    for (const std::string& file : site.ListFiles()) {
      EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
    }
  }
}

TEST(UpdateRun, NeverWritesOverAConcurrentEdit) {
  struct EditBeforeCommit : testing::FaultFileSystem {
    using FaultFileSystem::FaultFileSystem;
    std::function<void()> edit;
    Status Flush() override {
      if (edit) std::exchange(edit, nullptr)();
      return FaultFileSystem::Flush();
    }
  };
  const std::string saved = "<p>gerade gespeichert</p>\n";
  struct Case {
    const char* name;
    bool hard_link;  // written in place
    std::function<void()> edit;
  };
  const std::vector<Case> cases = {
      {"saved by rename", false,
       [&] {
         TempSite::Write("b.new", saved);
         ::rename("b.new", "b.htm");
       }},
      {"saved in place, same size", false,
       [&] { TempSite::Write("b.htm", std::string(StalePage("02.02.2002").size(), 'x')); }},
      {"hard-linked, saved in place", true, [&] { TempSite::Write("b.htm", saved); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Files files = ThreePageSite();
    files["b.htm"] = StalePage("02.02.2002");
    TempSite site(files);
    if (c.hard_link) {
      ASSERT_EQ(::link("b.htm", "b-link.htm"), 0);
    }
    PosixFileSystem real;
    EditBeforeCommit fs(real);
    fs.edit = [&] {
      c.edit();
      struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
      ::utimensat(AT_FDCWD, "b.htm", later, 0);
    };
    Form form;
    ASSERT_TRUE(RunStartupScan(form, fs).ok());
    const std::string edited = [&] {
      c.edit();
      return TempSite::Read("b.htm");
    }();
    TempSite::Write("b.htm", files["b.htm"]);
    const RunResult result = RunUpdate(form, fs, RunMode::kWrite);
    EXPECT_EQ(form.Label3(), "FEHLER beim Schreiben von b.htm");
    EXPECT_EQ(result.failure.path(), "b.htm");
    EXPECT_EQ(msg::Reason(result.failure), "seit dem Lesen geändert");
    EXPECT_EQ(TempSite::Read("a.htm"), FreshPage("01.01.2001"));
    EXPECT_EQ(TempSite::Read("b.htm"), edited);
    EXPECT_EQ(TempSite::Read("c.htm"), StalePage("03.03.2003"));
    // Its backup was its old file until the edit: it holds the bytes read again, on its own.
    EXPECT_EQ(TempSite::Read(Backup("b.htm", 1)), files["b.htm"]);
    EXPECT_FALSE(SameFile("b.htm", Backup("b.htm", 1)));
    for (const std::string& file : site.ListFiles()) {
      EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
    }
  }
}

// A run killed right after page k's backup link leaves page and backup one file. The next run
// does not count that name as a further link: it replaces the page by rename (or, where the
// page no longer changes, copies that backup), so afterwards they are two files, the backups
// hold the old bytes, and appending to the page leaves them alone. A page with a name of its
// own besides is written in place: its backup becomes a copy first.
TEST(UpdateRun, TheRunAfterAKillBetweenLinkAndRenameSeparatesPageAndBackup) {
  const Files original = ThreePageSite();
  PosixFileSystem real;
  for (const std::string then : {"changed", "current", "in place", "in place, listed twice"}) {
    const bool current = then == "current";
    for (size_t k = 0; k < 3; ++k) {
      const std::string page = std::string(1, static_cast<char>('a' + k)) + ".htm";
      SCOPED_TRACE("killed after the link of " + page + ", then " + then);
      TempSite site(original);
      {
        testing::FaultFileSystem dying(real);
        dying.DieAfter(Op::kLinkFile, k);
        Form form;
        ASSERT_TRUE(RunStartupScan(form, real).ok());
        EXPECT_NE(RunUpdate(form, dying, RunMode::kWrite).outcome, RunOutcome::kSuccess);
      }
      ASSERT_TRUE(SameFile(page, Backup(page, 1)));
      // The menu as the pages hold it, and no news: no page changes any more.
      if (current) TempSite::Write("include.htm", "<!-- INCLUDE MENU -->old\n");
      if (then.starts_with("in place")) {
        ASSERT_EQ(::link(page.c_str(), "other-name.htm"), 0);
      }
      if (then.ends_with("twice"))
        TempSite::Write("include.txt", "a.htm\nb.htm\nc.htm\n" + page + "\n");
      Session run;
      EXPECT_EQ(run.Start(real).outcome, RunOutcome::kSuccess);
      EXPECT_EQ(TempSite::Read("b.htm") != original.at("b.htm"), !current);
      ExpectOwnBackups(original);
      const int append = ::open(page.c_str(), O_WRONLY | O_APPEND);
      ASSERT_EQ(::write(append, ">>", 2), 2);
      ::close(append);
      EXPECT_EQ(TempSite::Read(Backup(page, 1)), original.at(page));
      for (const std::string& file : site.ListFiles()) {
        EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
      }
    }
  }
}

// Reading ahead (the real file system does, the test double does not; its thread works on the
// pages too) changes nothing of what a run writes or shows, also where a file comes again after
// a batch was put in place (one page under two names, a hard link written in place, a symlinked
// page) and the later visit must see the earlier one's bytes.
TEST(UpdateRun, ReadingAheadChangesNothingThatIsWritten) {
  Files files = {{"include.htm", kInclude}, {"h.htm", StalePage("04.04.2004")}};
  files["a.htm"] = StalePage("01.01.2001");
  // Every tenth line a file met before, so that a batch put in place on the way (by such a
  // visit, or by the bytes of linked pages) changes files already read ahead.
  const std::string again[] = {"./a.htm", "h2.htm", "s.htm", "a.htm", "h.htm"};
  std::string list = "a.htm\nh.htm\n";
  for (int i = 0; i < 800; ++i) {
    const std::string page = "p" + std::to_string(i) + ".htm";
    files[page] = StalePage("05.05.2005") + std::string(12000, 'x');
    // News blocks here and there, whose lines both threads need.
    if (i % 7 == 0)
      files[page] += "\n<!-- INCLUDE START -->\n<!-- INCLUDE NEWS -->\n<!-- INCLUDE END -->\n";
    list += page + "\n";
    if (i % 10 == 9) list += again[i / 10 % 5] + "\n";
  }
  files["include.txt"] = list;
  const auto run = [&](bool double_over_real) {
    TempSite site(files);
    EXPECT_EQ(::link("h.htm", "h2.htm"), 0);  // two names: written in place
    EXPECT_EQ(::symlink("p7.htm", "s.htm"), 0);
    PosixFileSystem real;
    testing::FaultFileSystem pass(real);
    Session session;
    const RunResult result =
        session.Start(double_over_real ? static_cast<FileSystem&>(pass) : real);
    Files written = site.Snapshot();
    // The journal's run line holds the time; its page lines must agree.
    std::string& journal = written.at(kJournalFile);
    journal.erase(journal.find("\nrun\t"),
                  journal.find('\n', journal.find("\nrun\t") + 1) - journal.find("\nrun\t"));
    return std::tuple(result.outcome, session.label3, written, session.label4);
  };
  const auto ahead = run(false), plain = run(true);
  EXPECT_EQ(std::get<0>(ahead), RunOutcome::kSuccess);
  EXPECT_EQ(std::get<0>(ahead), std::get<0>(plain));
  EXPECT_EQ(std::get<1>(ahead), std::get<1>(plain));
  EXPECT_TRUE(std::get<2>(ahead) == std::get<2>(plain));
  EXPECT_TRUE(std::get<3>(ahead) == std::get<3>(plain));
}

}  // namespace
}  // namespace splicery
