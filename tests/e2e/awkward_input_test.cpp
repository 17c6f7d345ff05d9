// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs that once broke a run (issue 14), end to end: for each, the texts and exit status of
// every call, and afterwards the bytes of every page and backup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::CliOptions;
using testing::CliResult;
using testing::Files;
using testing::RunCli;
using testing::TempSite;

const std::string kMenu = "<!-- INCLUDE MENU -->";
const std::string kOld = "<!-- INCLUDE START -->\n" + kMenu + "\nalt\n<!-- INCLUDE END -->\n";
const std::string kNew = "<!-- INCLUDE START -->\n" + kMenu + "\nneu\n<!-- INCLUDE END -->\n";
const Files kInclude = {{"include.htm", kMenu + "neu\n"}};

struct Call {
  std::vector<std::string> args;
  int code;
  std::string out, err;
  CliOptions::Stdout stdout_to = CliOptions::Stdout::kCapture;
};

struct Case {
  const char* name;
  Files files;
  std::vector<Call> calls;
  Files after;                              // every file of the site afterwards; empty: as before
  std::function<void()> prepare = nullptr;  // with this, the calls run as "nobody" under root
};

Files With(Files files, const Files& more) {
  for (const auto& [path, bytes] : more) files[path] = bytes;
  return files;
}

// What the start-up scan prints on standard output.
std::string Scan(const std::string& page, int include_lines = 1) {
  return " 1 Dateien werden bearbeitet\n " + std::to_string(include_lines) +
         " Include-Zeilen in INCLUDE.HTM gefunden\nDatei " + page + " wird bearbeitet\n";
}
// And a run up to its write-out (without: up to the backup copy).
std::string Pass(const std::string& page, bool written = true) {
  return "Datei " + page + " wird bearbeitet\n" +
         (written ? "Datei " + page + " wird geschrieben\n" : "");
}

TEST(AwkwardInput, EachIsHandledAndNoByteIsLost) {
  const std::string nul_list("a.htm\0x\n", 8);
  const std::string nul_shown = "a.htm\\0x";  // how the program prints that name
  const std::string cr_old =
      "<p>\r<!-- INCLUDE START -->\r" + kMenu + "\ralt\r<!-- INCLUDE END -->\r</p>";
  const std::string cr_new =
      "<p>\r<!-- INCLUDE START -->\r" + kMenu + "\rneu\r<!-- INCLUDE END -->\r</p>";
  const std::string long_page = std::string(236, 'x') + ".htm";  // its backup name just fits
  const std::string too_long = std::string(246, 'y') + ".htm";   // its backup name does not
  const std::string done = "INCLUDE wurde erfolgreich durchgeführt\n";
  Files hundred = kInclude, hundred_new;
  for (int i = 0; i < 100; ++i) {
    const std::string page = "seite" + std::to_string(i) + ".htm";
    hundred["include.txt"] += page + "\n";
    hundred[page] = kOld;
    hundred_new["splicery.sic/" + page + ". 1.htm"] = kOld;
    hundred_new[page] = kNew;
  }
  const auto site_open_to_nobody = [] {
    ::chmod(".", 0777);
    for (const char* f : {"include.txt", "include.htm", "p.htm"}) ::chmod(f, 0666);
  };
  const std::vector<Case> cases = {
      {"a NUL byte in a page path names no file, in every run",
       With(kInclude, {{"include.txt", nul_list}, {"a.htm", kOld}}),
       {{{},
         1,
         Scan(nul_shown),
         "FEHLER beim Lesen von " + nul_shown + "\nsplicery-cli: " + nul_shown +
             ": nicht vorhanden\n"},
        {{},
         1,
         Scan(nul_shown),
         "FEHLER beim Lesen von " + nul_shown + "\nsplicery-cli: " + nul_shown +
             ": nicht vorhanden\n"}},
       {}},
      {"CR-only line ends: updated once, then current",
       {{"include.txt", "p.htm\r"},
        {"include.htm", kMenu + "neu\r<!-- INCLUDE FUSS -->f\r"},
        {"p.htm", cr_old}},
       {{{}, 0, Scan("p.htm", 2) + Pass("p.htm") + done, ""},
        {{}, 0, Scan("p.htm", 2) + Pass("p.htm") + done, ""},
        {{"--check"}, 0, Scan("p.htm", 2) + "Alle Dateien sind aktuell\n", ""}},
       {{"include.txt", "p.htm\r"},
        {"include.htm", kMenu + "neu\r<!-- INCLUDE FUSS -->f\r"},
        {"p.htm", cr_new},
        {"splicery.sic/p.htm. 1.htm", cr_old},
        {"splicery.sic/p.htm. 2.htm", cr_new}}},
      {"a reader that goes away ends neither the run nor the help",
       hundred,
       {{{},
         1,
         "",
         "splicery-cli: Standardausgabe: Empfänger hat die Verbindung geschlossen\n",
         CliOptions::Stdout::kClosedPipe},
        {{"--version"},
         1,
         "",
         "splicery-cli: Standardausgabe: kein Platz auf dem Datenträger\n",
         CliOptions::Stdout::kFull}},
       With(hundred, hundred_new)},
      {"--check meets the missing backup sub-folder as the run does",
       With(kInclude, {{"include.txt", "sub/a.htm\n"}, {"sub/a.htm", kOld}}),
       {{{"--check"},
         1,
         Scan("sub/a.htm"),
         "FEHLER beim Zugriff auf sub/a.htm\n"
         "splicery-cli: splicery.sic/sub/a.htm. 1.htm: nicht vorhanden\n"},
        {{},
         1,
         Scan("sub/a.htm") + Pass("sub/a.htm", false),
         "FEHLER beim Zugriff auf sub/a.htm\n"
         "splicery-cli: splicery.sic/sub/a.htm. 1.htm: nicht vorhanden\n"}},
       {}},
      {"--check meets a backup name too long, with or without the backup folder",
       With(kInclude, {{"include.txt", too_long + "\n"}, {too_long, kOld}}),
       {{{"--check"},
         1,
         Scan(too_long),
         "FEHLER beim Zugriff auf " + too_long +
             "\n"
             "splicery-cli: splicery.sic/" +
             too_long + ". 1.htm: Name zu lang\n"},
        {{},
         1,
         Scan(too_long) + Pass(too_long, false),
         "FEHLER beim Zugriff auf " + too_long +
             "\n"
             "splicery-cli: splicery.sic/" +
             too_long + ". 1.htm: Name zu lang\n"},
        {{"--check"},
         1,
         Scan(too_long),
         "FEHLER beim Zugriff auf " + too_long +
             "\n"
             "splicery-cli: splicery.sic/" +
             too_long + ". 1.htm: Name zu lang\n"}},
       {}},
      {"--check on a fresh site: the run would make the backup folder",
       With(kInclude, {{"include.txt", "p.htm\n"}, {"p.htm", kOld}}),
       {{{"--check"}, 1, Scan("p.htm") + "Datei p.htm ist nicht aktuell\n", ""}},
       {}},
      {"--check meets a backup folder that may not be written",
       With(kInclude, {{"include.txt", "p.htm\n"}, {"p.htm", kOld}}),
       {{{"--check"},
         1,
         Scan("p.htm"),
         "FEHLER beim Zugriff auf p.htm\n"
         "splicery-cli: splicery.sic/p.htm. 1.htm: keine Berechtigung\n"},
        {{},
         1,
         Scan("p.htm") + Pass("p.htm", false),
         "FEHLER beim Zugriff auf p.htm\n"
         "splicery-cli: splicery.sic/p.htm. 1.htm: keine Berechtigung\n"}},
       {},
       [&] {
         site_open_to_nobody();
         ::mkdir("splicery.sic", 0555);
       }},
      {"--check meets a read-only stale page",
       With(kInclude, {{"include.txt", "p.htm\n"}, {"p.htm", kOld}}),
       {{{"--check"},
         1,
         Scan("p.htm"),
         "FEHLER beim Schreiben von p.htm\nsplicery-cli: p.htm: keine Berechtigung\n"},
        {{},
         1,
         Scan("p.htm") + Pass("p.htm"),
         "FEHLER beim Schreiben von p.htm\nsplicery-cli: p.htm: keine Berechtigung\n"}},
       With(kInclude,
            {{"include.txt", "p.htm\n"}, {"p.htm", kOld}, {"splicery.sic/p.htm. 1.htm", kOld}}),
       [&] {
         site_open_to_nobody();
         ::chmod("p.htm", 0444);
       }},
      {"a .. that stays inside the backup folder works",
       With(kInclude, {{"include.txt", "sub/../a.htm\n"},
                       {"a.htm", kOld},
                       {"sub/x", ""},
                       {"splicery.sic/sub/x", ""}}),
       {{{}, 0, Scan("sub/../a.htm") + Pass("sub/../a.htm") + done, ""}},
       With(kInclude, {{"include.txt", "sub/../a.htm\n"},
                       {"a.htm", kNew},
                       {"sub/x", ""},
                       {"splicery.sic/sub/x", ""},
                       {"splicery.sic/a.htm. 1.htm", kOld}})},
      {"./ before a page, no backup folder yet: the check agrees with the run",
       With(kInclude, {{"include.txt", "./a.htm\n"}, {"a.htm", kOld}}),
       {{{"--check"}, 1, Scan("./a.htm") + "Datei ./a.htm ist nicht aktuell\n", ""},
        {{}, 0, Scan("./a.htm") + Pass("./a.htm") + done, ""}},
       With(kInclude,
            {{"include.txt", "./a.htm\n"}, {"a.htm", kNew}, {"splicery.sic/a.htm. 1.htm", kOld}})},
      {"include.htm saved as UTF-16",
       With(kInclude,
            {{"include.txt", "p.htm\n"}, {"include.htm", "\xFF\xFE<\0!\0"}, {"p.htm", kOld}}),
       {{{},
         1,
         " 1 Dateien werden bearbeitet\n",
         "FEHLER beim Lesen von INCLUDE.HTM\nsplicery-cli: include.htm: UTF-16-kodiert; bitte als "
         "UTF-8 speichern\n"}},
       {}},
      {"a page name whose backup name just fits is written",
       With(kInclude, {{"include.txt", long_page + "\n"}, {long_page, kOld}}),
       {{{}, 0, Scan(long_page) + Pass(long_page) + done, ""}},
       With(kInclude, {{"include.txt", long_page + "\n"},
                       {long_page, kNew},
                       {"splicery.sic/" + long_page + ". 1.htm", kOld}})},
      {"-C with an empty name",
       kInclude,
       {{{"-C", ""},
         2,
         "",
         "splicery-cli: -C verlangt ein Verzeichnis\n"
         "Aufruf: splicery-cli [-C VERZEICHNIS] [--check | --diff | --lint]\n"
         "        splicery-cli [-C VERZEICHNIS] [--check] --undo | --prune N\n"
         "        splicery-cli [-C VERZEICHNIS] [--check | --diff] --to-utf8\n"
         "        splicery-cli --help | --version\n"}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site(c.files);
    CliOptions options;
    if (c.prepare) {
      c.prepare();
      options.drop_privileges = true;
    }
    for (const Call& call : c.calls) {
      SCOPED_TRACE(::testing::PrintToString(call.args));
      options.stdout_to = call.stdout_to;
      CliResult r = RunCli(call.args, options);
      EXPECT_EQ(r.code, call.code);
      EXPECT_EQ(r.out, call.out);
      EXPECT_EQ(r.err, call.err);
    }
    Files after = site.Snapshot();
    after.erase("splicery.sic/journal.tsv");  // what the runs did, told by their own tests
    EXPECT_EQ(after, c.after.empty() ? c.files : c.after);
  }
}

}  // namespace
}  // namespace splicery
