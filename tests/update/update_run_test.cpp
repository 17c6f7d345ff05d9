// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <utility>

#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"

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

struct Session {
  Form form;
  std::vector<std::string> label3;
  Session() {
    form.SetListener([this](LabelId id, std::string_view text, TextKind) {
      if (id == LabelId::kLabel3) label3.emplace_back(text);
    });
  }
  RunResult Start(FileSystem& fs) {
    EXPECT_TRUE(RunStartupScan(form, fs).ok());
    label3.clear();
    return RunUpdate(form, fs, RunMode::kWrite);
  }
};

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
      {"page outside the backup folder's reach", "../b.htm", "FEHLER beim Zugriff auf ../b.htm",
       RunOutcome::kAccessFailure, false},
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
    TempSite site(files);
    PosixFileSystem fs;
    Form form;
    RunStartupScan(form, fs);
    EXPECT_EQ(RunUpdate(form, fs, RunMode::kWrite).outcome, c.outcome);
    EXPECT_EQ(form.Label3(), c.expected);
    EXPECT_EQ(form.Label4(), "<p><!-- STAND START -->01.01.2001<!--T01.01.2001--></p>");
    EXPECT_FALSE(form.Command1Enabled);
    EXPECT_EQ(TempSite::Read("a.htm"), FreshPage("01.01.2001"));
    EXPECT_EQ(TempSite::Read("c.htm"), StalePage("03.03.2003"));
    EXPECT_EQ(TempSite::Read("sub/b.htm"), StalePage("1.1.1"));
    EXPECT_EQ(TempSite::Read("bad.htm"), files["bad.htm"]);
    EXPECT_EQ(TempSite::Exists("splicery.sic/" + c.page_b + ". 1.htm"), c.backup_of_b);
    EXPECT_FALSE(TempSite::Exists("splicery.sic/c.htm. 1.htm"));
    EXPECT_FALSE(TempSite::Exists("b.htm. 1.htm"));
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

// Every file operation of a run, failed in turn: the run stops with the message of its step,
// the failing page keeps its bytes, earlier pages are rewritten, later ones untouched, and no
// temporary file is left.
TEST(UpdateRun, EveryFailingOperationStopsCleanly) {
  PosixFileSystem real;
  std::map<Op, size_t> calls;
  {
    TempSite site(ThreePageSite());
    testing::FaultFileSystem counter(real);
    Form form;
    RunStartupScan(form, real);
    RunUpdate(form, counter, RunMode::kWrite);
    for (Op op : testing::kAllOps) calls[op] = counter.Calls(op);
  }
  const Files original = ThreePageSite();
  for (const auto& [op, count] : calls) {
    for (size_t nth = 0; nth < count; ++nth) {
      SCOPED_TRACE(std::string(testing::OpName(op)) + " #" + std::to_string(nth));
      TempSite site(original);
      testing::FaultFileSystem fs(real);
      Form form;
      ASSERT_TRUE(RunStartupScan(form, real).ok());
      fs.FailCall(op, nth, ENOSPC);
      RunResult result = RunUpdate(form, fs, RunMode::kWrite);
      EXPECT_FALSE(form.Command1Enabled);
      if (op == Op::kMakeDirectory) {  // an existing folder is no failure; here the copy fails
        EXPECT_EQ(result.outcome, RunOutcome::kAccessFailure);
        EXPECT_EQ(form.Label3(), "FEHLER beim Zugriff auf a.htm");
        continue;
      }
      // The lines after the commit saying which pages were written: readers do without them.
      if (op == Op::kAppendFile && nth + 1 == count) {
        EXPECT_EQ(result.outcome, RunOutcome::kSuccess);
        continue;
      }
      ASSERT_NE(result.outcome, RunOutcome::kSuccess);
      // The system's reason travels with the failure, for the front ends to show.
      EXPECT_EQ(msg::Reason(result.failure), "kein Platz auf dem Datenträger");
      std::string failing;
      for (size_t seen = 0; const auto& [logged, path] : fs.log()) {
        if (logged == op && seen++ == nth) failing = path;
      }
      const bool at_commit = op == Op::kWriteTemp || op == Op::kFlush || op == Op::kPutInPlace;
      // The barrier before any page is replaced stops at the first page; the one after all
      // of them leaves every page new but still says which batch it could not make durable.
      // The journal is read and opened at the first backup and written before the commit:
      // either failure stops the run before any page is replaced.
      const bool journal = op == Op::kReadFile || op == Op::kAppendFile;
      std::string page = op == Op::kLockFolder ? "."
                         : journal             ? "splicery.sic/journal.tsv"
                         : op == Op::kFlush    ? "a.htm"
                                               : failing;
      if (op == Op::kProbe || op == Op::kCreateFile) page = failing.substr(13, 5);
      if (op == Op::kFlush && nth == 1) page = "c.htm";
      EXPECT_EQ(form.Label3(),
                (at_commit ? "FEHLER beim Schreiben von " : "FEHLER beim Zugriff auf ") + page);
      if (op == Op::kLockFolder || journal) page = "a.htm";  // the first page that keeps its bytes
      if (op == Op::kFlush && nth == 1) page = "none";
      bool before = true;
      for (const char* p : {"a.htm", "b.htm", "c.htm"}) {
        if (p == page) before = false;
        const std::string bytes = TempSite::Read(p);
        if (before) {
          EXPECT_NE(bytes, original.at(p)) << p;
        } else {
          EXPECT_EQ(bytes, original.at(p)) << p;
        }
      }
      for (const std::string& file : site.ListFiles()) {
        EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
      }
    }
  }
  EXPECT_EQ(calls[Op::kCreateFile], 3u);
  EXPECT_EQ(calls[Op::kPutInPlace], 3u);
  EXPECT_EQ(calls[Op::kFlush], 2u);
}

// An editor saves a page between its backup and its write-back: the save stays, by rename or
// in place, and the run stops there. Pages before it are written, later ones untouched.
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
    for (const std::string& file : site.ListFiles()) {
      EXPECT_EQ(file.find(".splicery-tmp-"), std::string::npos) << file;
    }
  }
}

}  // namespace
}  // namespace splicery
