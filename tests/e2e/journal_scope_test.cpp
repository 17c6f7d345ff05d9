// SPDX-License-Identifier: GPL-3.0-or-later
// Journal lines a member of the site's group could add: each leads outside the site or names
// a backup that is not the file's own. Undo leaves each alone with its text and goes on, lint
// warns at its line, prune deletes nothing outside.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>

#include "support/cli_runner.h"
#include "support/temp_site.h"
#include "update/journal.h"

namespace splicery {
namespace {

using testing::RunCli;
using testing::TempSite;

std::string Page(const std::string& inside) {
  return "<p>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n" + inside + "<!-- INCLUDE END -->\n";
}

const char* const kOutside[] = {"/x.htm", "/y.htm", "/x.htm. 1.htm", "/x.htm. 2.htm", "/made.xml"};

TEST(JournalScope, LinesLeadingOutsideAreSkippedByEveryReader) {
  char out_template[] = "/tmp/splicery-outside-XXXXXX";
  const std::string out = ::mkdtemp(out_template);
  TempSite site({{"include.txt", "a.htm\nb.htm\n"},
                 {"include.htm", "<!-- INCLUDE MENU -->eins\n"},
                 {"a.htm", Page("alt\n")},
                 {"b.htm", Page("alt\n")},
                 {"sub/keep", ""},
                 {"sub2/x.htm", "innen"},
                 {"splicery.sic/link/y.htm. 1.htm", "boese"}});
  ASSERT_EQ(RunCli({}).code, 0);  // run 1: a and b now "eins", backups 1 hold "alt"
  for (const char* name : kOutside) {
    TempSite::Write(out + name, "fremd");
    const struct utimbuf old = {1000, 1000};  // older than every run: prune could pick them
    ::utime((out + name).c_str(), &old);
  }
  ASSERT_EQ(::symlink(out.c_str(), "link"), 0);
  ASSERT_EQ(::symlink(out.c_str(), "splicery.sic/sub2"), 0);

  const uint64_t fremd = JournalHash("fremd"), eins = JournalHash(Page("eins\n"));
  struct Line {
    std::string path, backup;
    uint64_t before, after;
    bool created = false;
  };
  const std::vector<Line> lines = {
      {out + "/x.htm", "splicery.sic/" + out + "/x.htm. 1.htm", fremd, fremd},
      {"sub/../../x.htm", "splicery.sic/sub/../../x.htm. 1.htm", fremd, fremd},
      {"link/y.htm", "splicery.sic/link/y.htm. 1.htm", JournalHash("boese"), fremd},
      {"sub2/x.htm", "splicery.sic/sub2/x.htm. 1.htm", fremd, JournalHash("innen")},
      {"b.htm", "splicery.sic/a.htm. 1.htm", JournalHash(Page("alt\n")), eins},
      {"link/made.xml", "", 0, fremd, true},
      {"./a.htm", "splicery.sic/./a.htm. 1.htm", JournalHash(Page("alt\n")), eins},
  };
  std::string journal = TempSite::Read("splicery.sic/journal.tsv") + "run\t2\tt\tupdate\n";
  std::string undo_out, lint_out;
  for (const Line& l : lines) {
    const size_t number = std::count(journal.begin(), journal.end(), '\n') + 1;
    journal += FormatPageLine(2, {l.path, l.backup, l.before, l.after, {}, l.created});
    if (l.path == "./a.htm") {
      undo_out += "Datei ./a.htm wird zurückgesetzt\n";
      continue;
    }
    undo_out += "Datei " + l.path + " liegt außerhalb des Ordners und wird nicht zurückgesetzt\n";
    lint_out += "splicery.sic/journal.tsv:" + std::to_string(number) +
                ": Warnung: die Zeile nennt Datei " + l.path +
                " außerhalb des Ordners oder eine Sicherung, die nicht ihre ist; sie wird "
                "übergangen\n";
  }
  TempSite::Write("splicery.sic/journal.tsv", journal);

  const testing::CliResult lint = RunCli({"--lint"});
  std::string journal_findings;  // the others are the site's own
  for (size_t at = 0, lf; (lf = lint.out.find('\n', at)) != std::string::npos; at = lf + 1) {
    const std::string line = lint.out.substr(at, lf + 1 - at);
    if (line.starts_with("splicery.sic/journal.tsv:")) journal_findings += line;
  }
  EXPECT_EQ(journal_findings, lint_out);
  EXPECT_EQ(lint.code, 1);
  const testing::CliResult undo = RunCli({"--undo"});
  EXPECT_EQ(undo.out, undo_out + "Lauf 2 wurde rückgängig gemacht\n");
  EXPECT_EQ(undo.code, 1);
  EXPECT_EQ(TempSite::Read("a.htm"), Page("alt\n"));
  EXPECT_EQ(TempSite::Read("b.htm"), Page("eins\n"));
  EXPECT_EQ(TempSite::Read("sub2/x.htm"), "innen");
  // The backup folder of a listed page links outside: prune lists nothing there.
  TempSite::Write("include.txt", "a.htm\nb.htm\nsub2/x.htm\n");
  EXPECT_EQ(RunCli({"--prune", "1"}).code, 0);
  for (const char* name : kOutside) {
    EXPECT_EQ(TempSite::Read(out + name), "fremd") << name;
    ::unlink((out + name).c_str());
  }
  ::rmdir(out.c_str());
}

}  // namespace
}  // namespace splicery
