// SPDX-License-Identifier: GPL-3.0-or-later
// --diff and --lint end to end: neither writes anything; the diff applied with GNU patch gives
// exactly what a run writes; the lint names every finding with its file and line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::RunCli;
using testing::TempSite;

const std::string kMenu = "<!-- INCLUDE MENU -->";
const std::string kStart = "<!-- INCLUDE START -->", kEnd = "<!-- INCLUDE END -->";

// The site twice, in "diffed" and "ran": the first gets the diff applied, the second a run.
TEST(Diff, PatchGivesExactlyWhatTheRunWrites) {
  if (std::system("patch --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "GNU patch fehlt";
  const Files pages = {
      {"lf.htm", "a\n" + kStart + "\n" + kMenu + "\nalt\n" + kEnd + "\nz\n"},
      {"crlf.htm", "a\r\n" + kStart + "\r\n" + kMenu + "\r\n" + kEnd + "\r\nz\r\n"},
      {"cr.htm", "a\r" + kStart + "\r" + kMenu + "\ralt\r" + kEnd + "\rz\r"},
      {"no-final-newline.htm", kStart + "\n" + kMenu + "\n" + kEnd},
      {"empty.htm", ""},
      {"my page.htm", kStart + "\n" + kMenu + "\n" + kEnd + "\n"},
      {"sub/a.htm", "x\n" + kStart + "\n" + kMenu + "\nalt\nalt\n" + kEnd + "\n"},
      {"real/t.htm", kStart + "\n" + kMenu + "\n" + kEnd + "\n"},  // listed through link.htm
      // Listed as lnk/../q.htm with lnk a link to deep/inner: the kernel goes up from the
      // link's target, so the run writes deep/q.htm, not q.htm.
      {"deep/q.htm", kStart + "\n" + kMenu + "\n" + kEnd + "\n"},
      {"q.htm", kStart + "\n" + kMenu + "\n" + kEnd + "\n"},
  };
  const std::string list =
      "lf.htm\ncrlf.htm\ncr.htm\nno-final-newline.htm\nempty.htm\nmy page.htm\n"
      "sub/../sub/a.htm\nlf.htm\nlink.htm\nlnk/../q.htm\n";
  Files site_files = {{"include.txt", list}, {"include.htm", kMenu + "eins\n" + kMenu + "zwei\n"}};
  for (const auto& [path, bytes] : pages) site_files[path] = bytes;
  Files files;
  for (const auto& [path, bytes] : site_files) {
    files["diffed/" + path] = bytes;
    files["ran/" + path] = bytes;
  }
  TempSite site(files);
  for (const char* folder : {"diffed/splicery.sic", "diffed/splicery.sic/sub",
                             "diffed/splicery.sic/lnk", "diffed/deep/inner", "ran/splicery.sic",
                             "ran/splicery.sic/sub", "ran/splicery.sic/lnk", "ran/deep/inner"}) {
    ::mkdir(folder, 0755);
  }
  // The run writes through a link to its target: the diff names the target.
  ASSERT_EQ(::symlink("real/t.htm", "diffed/link.htm"), 0);
  ASSERT_EQ(::symlink("real/t.htm", "ran/link.htm"), 0);
  ASSERT_EQ(::symlink("deep/inner", "diffed/lnk"), 0);
  ASSERT_EQ(::symlink("deep/inner", "ran/lnk"), 0);

  const testing::CliResult diff = RunCli({"--diff", "-C", "diffed"});
  EXPECT_EQ(diff.code, 1);
  EXPECT_EQ(diff.err.find("FEHLER"), std::string::npos) << diff.err;
  EXPECT_NE(diff.out.find("--- \"a/my page.htm\"\n+++ \"b/my page.htm\"\n"), std::string::npos);
  EXPECT_NE(diff.out.find("--- a/sub/a.htm\n"), std::string::npos);
  EXPECT_NE(diff.out.find("--- a/deep/q.htm\n+++ b/deep/q.htm\n"), std::string::npos);
  EXPECT_NE(diff.out.find("--- a/real/t.htm\n"), std::string::npos);
  EXPECT_EQ(diff.out.find("empty.htm"), std::string::npos);  // nothing to change there
  ASSERT_EQ(RunCli({"-C", "ran"}).code, 0);
  for (const auto& [path, bytes] : site_files) {
    EXPECT_EQ(TempSite::Read("diffed/" + path), bytes) << "--diff wrote " << path;
  }
  // + the backups and the journal in "ran"
  EXPECT_EQ(site.ListFiles().size(), 2 * (site_files.size() + 1) + 10 + 1);

  TempSite::Write("changes.diff", diff.out);
  ASSERT_EQ(std::system("cd diffed && patch --binary -s -p1 < ../changes.diff"), 0) << diff.out;
  for (const auto& [path, bytes] : pages) {
    EXPECT_EQ(TempSite::Read("diffed/" + path), TempSite::Read("ran/" + path)) << path;
  }
  const testing::CliResult again = RunCli({"--diff", "-C", "ran"});
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(again.out, "");
}

// One page per finding; each line of the output starts with the expected prefix.
TEST(Lint, NamesEveryFindingWithFileAndLine) {
  const std::string news = "<!-- INCLUDE NEWS -->";
  TempSite site({
      {"include.txt",
       "ok.htm\nmissing.htm\nopen.htm\nnokey.htm\nstray.htm\nstand.htm\n"
       "plain.htm\n./ok.htm\nnested.htm\n\nsub/x.htm\nro.htm\n"},
      {"include.htm", "<html>\n" + kMenu + "m\n<!-- INCLUDE UNUSED -->u\n"},
      {"ok.htm",
       kStart + "\n" + kMenu + "\n" + kEnd + "\n<!-- STAND START -->01.02.2003<!--T-->\n"},
      {"open.htm", "a\n" + kStart + "\n" + kEnd + "\n" + kStart + "\n"},
      {"nokey.htm",
       "a\n" + kStart + "\nalt\n" + kEnd + "\n" + kStart + "\n" + news + "\n" + kEnd + "\n"},
      {"stray.htm", kEnd + "\n" + kStart + "\n<!-- INCLUDE MENUE -->\n" + kEnd + "\n"},
      {"stand.htm",
       "<!-- STAND START -->1.02.2003<!--T-->\n<!-- STAND START -->00.00.0000<!--T-->\n"
       "<!-- STAND START -->01.02.2003\n"},
      {"plain.htm", "<p>nichts</p>\n"},
      {"nested.htm", kStart + "\n" + kMenu + "\n" + kStart + "\n" + kEnd + "\n"},
      {"sub/x.htm", "<p>x</p>\n"},
      {"ro.htm", kStart + "\n" + kMenu + "\nalt\n" + kEnd + "\n"},
  });
  ::chmod("ro.htm", 0444);  // refused by the run even as root: no write bit at all
  const testing::CliResult lint = RunCli({"--lint"});
  const std::vector<std::string> prefixes = {
      "include.txt:2: Fehler: Datei missing.htm",
      "include.txt:3: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:4: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:5: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:6: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:7: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:8: Warnung: Datei ./ok.htm ist schon in Zeile 1 aufgeführt",
      "include.txt:9: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:10: Fehler: leere Zeile",
      "include.txt:11: Hinweis: Datei wird von keiner Seite verlinkt",
      "include.txt:12: Hinweis: Datei wird von keiner Seite verlinkt",
      "open.htm:2: Warnung: Block ohne Schlüsselzeile",
      "open.htm:4: Fehler: INCLUDE START ohne INCLUDE END",
      "nokey.htm:2: Warnung: Block ohne Schlüsselzeile",
      "nokey.htm:5: Warnung: NEWS-Block, aber include.htm hat keine NEWS-Vorlage",
      "stray.htm:1: Warnung: INCLUDE END ohne offenen Block",
      "stray.htm:3: Warnung: Schlüsselzeile passt zu keiner Include-Zeile",
      "stand.htm:1: Warnung: Datum 1.02.2003 mit einstelligem Tag oder Monat",
      "stand.htm:3: Warnung: Stand-Zeile ergibt keinen News-Eintrag",
      "plain.htm:1: Hinweis: Datei hat weder einen INCLUDE-Block noch eine Stand-Zeile",
      "nested.htm:3: Warnung: INCLUDE START im offenen Block aus Zeile 1",
      "sub/x.htm:1: Fehler: Sicherung kann nicht angelegt werden: splicery.sic/sub/x.htm. 1.htm",
      "sub/x.htm:1: Hinweis: Datei hat weder",
      "ro.htm:1: Fehler: Datei kann nicht geschrieben werden: keine Berechtigung",
      "include.htm:3: Hinweis: Include-Zeile wird von keinem Block verwendet",
  };
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = lint.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    lines.push_back(lint.out.substr(at, nl - at));
  }
  ASSERT_EQ(lines.size(), prefixes.size()) << lint.out;
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_TRUE(lines[i].starts_with(prefixes[i])) << lines[i];
  EXPECT_EQ(lint.err, "5 Fehler, 9 Warnungen, 11 Hinweise\n");
  EXPECT_EQ(lint.code, 1);
  EXPECT_FALSE(TempSite::Exists("splicery.sic"));
}

// Where the run would stop at its journal or a backup name, the check stops there with the
// run's own two lines before naming any stale page, and the lint has the same reason.
TEST(Lint, AgreesWithTheRunOnTheJournalAndTakenBackupNames) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::string stops, reason, finding;
  };
  const std::string journal = "splicery.sic/journal.tsv";
  const std::string at_journal = "FEHLER beim Zugriff auf " + journal;
  const std::vector<Case> cases = {
      {"another first line", [&] { TempSite::Write(journal, "journal\n"); }, at_journal,
       journal + ": unbekanntes Format (erste Zeile ist nicht \"splicery-journal\t1\")",
       journal + ":1: Fehler: unbekanntes Format"},
      {"a symbolic link",
       [&] {
         TempSite::Write("elsewhere.tsv", "splicery-journal\t1\n");
         ASSERT_EQ(::symlink("../elsewhere.tsv", journal.c_str()), 0);
       },
       at_journal, journal + ": ist eine symbolische Verknüpfung",
       journal + ":1: Fehler: ist eine symbolische Verknüpfung"},
      {"a folder", [&] { ASSERT_EQ(::mkdir(journal.c_str(), 0755), 0); }, at_journal,
       journal + ": ist ein Verzeichnis", journal + ":1: Fehler: ist ein Verzeichnis"},
      {"a backup name taken by a folder",
       [] { ASSERT_EQ(::mkdir("splicery.sic/a.htm. 1.htm", 0755), 0); },
       "FEHLER beim Zugriff auf a.htm", "splicery.sic/a.htm. 1.htm: schon vorhanden",
       "a.htm:1: Fehler: Sicherung kann nicht angelegt werden: splicery.sic/a.htm. 1.htm: "
       "schon vorhanden"},
  };
  testing::CliOptions merged;
  merged.merge_output = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site({{"include.txt", "a.htm\n"},
                   {"include.htm", kMenu + "neu\n"},
                   {"a.htm", kStart + "\n" + kMenu + "\nalt\n" + kEnd + "\n"}});
    ASSERT_EQ(::mkdir("splicery.sic", 0755), 0);
    c.spoil();
    const std::string lines = c.stops + "\nsplicery-cli: " + c.reason + "\n";
    for (const char* check : {"--check", ""}) {
      testing::CliResult result = RunCli(
          std::string(check).empty() ? std::vector<std::string>{} : std::vector<std::string>{check},
          merged);
      EXPECT_EQ(result.code, 1) << check;
      EXPECT_TRUE(result.out.ends_with(lines)) << check << ": " << result.out;
      EXPECT_EQ(result.out.find("nicht aktuell"), std::string::npos) << result.out;
    }
    const testing::CliResult lint = RunCli({"--lint"});
    EXPECT_EQ(lint.code, 1);
    EXPECT_TRUE(lint.out.starts_with(c.finding)) << lint.out;
    EXPECT_EQ(TempSite::Read("a.htm"), kStart + "\n" + kMenu + "\nalt\n" + kEnd + "\n");
  }
}

}  // namespace
}  // namespace splicery
