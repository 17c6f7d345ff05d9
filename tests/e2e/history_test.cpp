// SPDX-License-Identifier: GPL-3.0-or-later
// The run journal end to end: undo, undo again, a torn journal line, pruning, and the lint's
// guard for hand edits inside blocks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::CliResult;
using testing::Files;
using testing::RunCli;
using testing::TempSite;

std::string Page(const std::string& inside) {
  return "<p>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n" + inside + "<!-- INCLUDE END -->\n";
}

const Files kSite = {{"include.txt", "a.htm\nb.htm\nc.htm\n"},
                     {"include.htm", "<!-- INCLUDE MENU -->eins\n"},
                     {"a.htm", Page("alt\n")},
                     {"b.htm", Page("alt\n")},
                     {"c.htm", Page("alt\n")}};

// Two runs, a hand edit of b, then undo twice: a and c go back run by run, the edited b stays.
TEST(History, UndoTakesBackOneRunAtATime) {
  TempSite site(kSite);
  ASSERT_EQ(RunCli({}).code, 0);
  TempSite::Write("include.htm", "<!-- INCLUDE MENU -->zwei\n");
  // A killed run's torn last line must not disturb the runs after it.
  TempSite::Write("splicery.sic/journal.tsv",
                  TempSite::Read("splicery.sic/journal.tsv") + "page\t1\ta.htm\tx\t0");
  ASSERT_EQ(RunCli({}).code, 0);
  TempSite::Write("b.htm", Page("von Hand\n"));
  const Files before = site.Snapshot();

  struct Step {
    std::vector<std::string> args;
    int code;
    std::string out, a, c;
  };
  const std::vector<Step> steps = {
      {{"--undo", "--check"},
       1,
       "Datei a.htm würde zurückgesetzt\n"
       "Datei b.htm wurde seit dem Lauf geändert und bleibt, wie sie ist\n"
       "Datei c.htm würde zurückgesetzt\nLauf 2 würde rückgängig gemacht\n",
       Page("zwei\n"),
       Page("zwei\n")},
      {{"--undo"},
       1,
       "Datei a.htm wird zurückgesetzt\n"
       "Datei b.htm wurde seit dem Lauf geändert und bleibt, wie sie ist\n"
       "Datei c.htm wird zurückgesetzt\nLauf 2 wurde rückgängig gemacht\n",
       Page("eins\n"),
       Page("eins\n")},
      {{"--undo"},
       1,
       "Datei a.htm wird zurückgesetzt\n"
       "Datei b.htm wurde seit dem Lauf geändert und bleibt, wie sie ist\n"
       "Datei c.htm wird zurückgesetzt\nLauf 1 wurde rückgängig gemacht\n",
       Page("alt\n"),
       Page("alt\n")},
      {{"--undo"}, 1, "Kein Lauf zum Rückgängigmachen\n", Page("alt\n"), Page("alt\n")},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::PrintToString(step.args));
    const CliResult r = RunCli(step.args);
    EXPECT_EQ(r.code, step.code);
    EXPECT_EQ(r.out, step.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(TempSite::Read("a.htm"), step.a);
    EXPECT_EQ(TempSite::Read("b.htm"), Page("von Hand\n"));
    EXPECT_EQ(TempSite::Read("c.htm"), step.c);
    if (step.args.size() == 2) {
      EXPECT_EQ(site.Snapshot(), before);  // the dry run wrote nothing
    }
  }
  // Every undo backed up what it replaced: a.htm went 1 (alt), 2 (eins), 3 (zwei), 4 (eins).
  EXPECT_EQ(TempSite::Read("splicery.sic/a.htm. 4.htm"), Page("eins\n"));
}

// Pre-journal backups count as older than journaled ones and go by change time (a backup made
// by link keeps the page's modification time); only the program's own names for listed pages
// are ever touched.
TEST(History, PruneKeepsTheNewestBackupsOfListedPages) {
  TempSite site(kSite);
  ::mkdir("splicery.sic", 0755);
  for (int n = 3; n >= 1; --n) {  // 1 is the newest, whatever the modification times say
    const std::string name = "splicery.sic/a.htm. " + std::to_string(n) + ".htm";
    TempSite::Write(name, "vor dem Journal");
    const struct utimbuf times = {1000 * n, 1000 * n};
    ::utime(name.c_str(), &times);
    ::usleep(11000);  // change times more than a clock tick apart
  }
  for (const char* other : {"splicery.sic/a.htm. 01.htm", "splicery.sic/x.htm. 1.htm"}) {
    TempSite::Write(other, "fremd");
  }
  // The guard for unknown backups younger than the newest run uses the change time too: the
  // runs start in a later second (the journal's precision). A change time can be finer than,
  // and ahead of, the clock behind time(), so the wait is for the change time's own second.
  struct stat newest {};
  ASSERT_EQ(::stat("splicery.sic/a.htm. 1.htm", &newest), 0);
  while (std::time(nullptr) <= newest.st_ctim.tv_sec) ::usleep(20000);
  ASSERT_EQ(RunCli({}).code, 0);  // a.htm. 4.htm
  ASSERT_EQ(RunCli({}).code, 0);  // a.htm. 5.htm

  const CliResult dry = RunCli({"--prune", "2", "--check"});
  EXPECT_EQ(dry.code, 0);
  EXPECT_EQ(dry.out,
            "Sicherung splicery.sic/a.htm. 1.htm würde gelöscht\n"
            "Sicherung splicery.sic/a.htm. 2.htm würde gelöscht\n"
            "Sicherung splicery.sic/a.htm. 3.htm würde gelöscht\n"
            "3 Sicherungen würden gelöscht, 6 behalten\n");
  // The second run changed nothing: the first is the one --undo takes back, so its backups
  // stay, and the undo still works after the prune.
  const CliResult pruned = RunCli({"--prune", "1"});
  EXPECT_EQ(pruned.code, 0);
  EXPECT_TRUE(pruned.out.ends_with("3 Sicherungen gelöscht, 6 behalten\n")) << pruned.out;
  EXPECT_EQ(
      site.ListFiles(),
      (std::vector<std::string>{
          "a.htm", "b.htm", "c.htm", "include.htm", "include.txt", "splicery.sic/a.htm. 01.htm",
          "splicery.sic/a.htm. 4.htm", "splicery.sic/a.htm. 5.htm", "splicery.sic/b.htm. 1.htm",
          "splicery.sic/b.htm. 2.htm", "splicery.sic/c.htm. 1.htm", "splicery.sic/c.htm. 2.htm",
          "splicery.sic/journal.tsv", "splicery.sic/x.htm. 1.htm"}));
  EXPECT_EQ(RunCli({"--undo"}).code, 0);
  EXPECT_EQ(RunCli({"--prune", "0"}).code, 2);
}

// What a refused page, a failed undo or a second name of one file must not do to the journal:
// mark a run undone that was not, journal bytes never written, or prune the newest backups.
TEST(History, FailuresAndSecondNamesKeepTheJournalTrue) {
  Files files = kSite;
  files["include.txt"] = "a.htm\n./a.htm\nb.htm\n";
  TempSite site(files);
  ASSERT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(RunCli({"--prune", "1"}).out, "0 Sicherungen gelöscht, 3 behalten\n");

  TempSite::Write("include.htm", "<!-- INCLUDE MENU -->zwei\n");
  ::chmod("b.htm", 0444);  // refused even as root: no write bit at all
  ASSERT_EQ(RunCli({}).code, 1);
  EXPECT_EQ(RunCli({"--lint"}).out.find("von Hand"), std::string::npos);  // b was not written

  ::chmod("a.htm", 0444);  // now the undo cannot write a: it stops and journals nothing
  EXPECT_EQ(RunCli({"--undo"}).err,
            "FEHLER beim Schreiben von a.htm\nsplicery-cli: a.htm: keine Berechtigung\n");
  ::chmod("a.htm", 0644);
  const CliResult undo = RunCli({"--undo"});
  EXPECT_TRUE(undo.out.ends_with("Lauf 2 wurde rückgängig gemacht\n")) << undo.out;
  EXPECT_EQ(TempSite::Read("a.htm"), Page("eins\n"));
}

// A line edited by hand inside a block is named, unless the next run would write it anyway.
TEST(History, LintWarnsOfAHandEditInsideABlock) {
  TempSite site(kSite);
  ASSERT_EQ(RunCli({}).code, 0);
  TempSite::Write("a.htm", Page("eins, von Hand verbessert\n"));
  TempSite::Write("c.htm", Page("eins\n"));  // as the last run wrote it
  const CliResult lint = RunCli({"--lint"});
  EXPECT_EQ(lint.out,
            "include.txt:2: Hinweis: Datei wird von keiner Seite verlinkt\n"
            "include.txt:3: Hinweis: Datei wird von keiner Seite verlinkt\n"
            "a.htm:4: Warnung: von Hand geänderte Zeile im Block: der nächste Lauf ersetzt sie; "
            "der Ort für die Änderung ist die Include-Zeile in include.htm\n");
  EXPECT_EQ(lint.code, 1);
}

// A generated line deleted by hand is named at the line that now stands where it stood: the
// next one in the block, or the END line when it was the last.
TEST(History, LintNamesWhereAGeneratedLineWasDeleted) {
  struct Row {
    const char* name;
    std::string inside;
    size_t line;  // 0: no finding
  };
  const std::vector<Row> rows = {
      {"as the last run wrote it", "eins\nzwei\ndrei\n", 0},
      {"the first deleted", "zwei\ndrei\n", 4},
      {"the middle one deleted", "eins\ndrei\n", 5},
      {"the last deleted", "eins\nzwei\n", 6},
      {"all deleted", "", 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempSite site(
        {{"include.txt", "a.htm\n"},
         {"include.htm",
          "<!-- INCLUDE MENU -->eins\n<!-- INCLUDE MENU -->zwei\n<!-- INCLUDE MENU -->drei\n"},
         {"a.htm", Page("alt\n")}});
    ASSERT_EQ(RunCli({}).code, 0);
    TempSite::Write("a.htm", Page(row.inside));
    const CliResult lint = RunCli({"--lint"});
    EXPECT_EQ(lint.out, row.line == 0 ? ""
                                      : "a.htm:" + std::to_string(row.line) +
                                            ": Warnung: von Hand geänderte Zeile im Block: der "
                                            "nächste Lauf ersetzt sie; der Ort für die Änderung "
                                            "ist die Include-Zeile in include.htm\n");
  }
}

}  // namespace
}  // namespace splicery
