// SPDX-License-Identifier: GPL-3.0-or-later
// Sites of mixed encodings end to end, with the iconv command as the oracle: every declared
// page shows the intended text after a run, and --to-utf8 moves the site to UTF-8 so that
// --undo can take it back byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::RunCli;
using testing::TempSite;

// `bytes` from one encoding into another by the iconv command.
std::string Iconv(const std::string& bytes, const std::string& from, const std::string& to) {
  TempSite::Write("iconv.in", bytes);
  const std::string command =
      "iconv -f " + from + " -t " + to + " iconv.in > iconv.out 2> /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << from << " -> " << to;
  std::string out = TempSite::Read("iconv.out");
  std::remove("iconv.in");
  std::remove("iconv.out");
  return out;
}

const std::string kStart = "<!-- INCLUDE START -->\n", kEnd = "<!-- INCLUDE END -->\n";
const std::string kMenu = "<!-- INCLUDE MENU -->", kNews = "<!-- INCLUDE NEWS -->";
const std::string kBlocks = kStart + kMenu + "\n" + kEnd + kStart + kNews + "\n" + kEnd;
const std::string kMeta1252 = "<meta charset=\"iso-8859-1\">\n";
const std::string kPragma1252 =
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\n";

// The site as its author means it, in UTF-8: Latin-1 pages (both forms of the declaration),
// an undeclared ASCII page, a UTF-8 page, and include.htm saved as UTF-8 holding ä ö ü ß „ “ €
// and Ł, which windows-1252 lacks. News titles come from pages of both encodings.
const std::string kMenuText =
    "<a>\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x80\x9E"
    "Start\xE2\x80\x9C \xE2\x82\xAC \xC5\x81\xC3\xB3"
    "d\xC5\xBA</a>";
const std::string kTemplate = "<li><!-- NEWS DATE --> <!-- NEWS NAME --></li>";

Files MixedSite() {
  return {
      {"include.txt", "latin.htm\npragma.htm\nplain.htm\nutf8.htm\n"},
      {"include.htm", kMenu + kMenuText + "\n" + kNews + kTemplate + "\n"},
      {"latin.htm", "<html>\n<head>\n" + kMeta1252 + "</head>\n" +
                        "<!-- STAND START -->01.02.2024<!--Gr\xC3\xBC\xC3\x9F"
                        "e-->\n" +
                        kBlocks},
      {"pragma.htm", "<HTML><HEAD>\n" + kPragma1252 + "</HEAD>\n" + kBlocks},
      {"plain.htm", "<html>\n" + kStart + kMenu + "\n" + kEnd},
      {"utf8.htm", "<head><meta charset=\"utf-8\"></head>\n" +
                       std::string("<!-- STAND START -->02.02.2024<!--Stra\xC3\x9F"
                                   "e \xE2\x82\xAC-->\n") +
                       kBlocks},
  };
}

// The site's files but the backups and the journal.
Files SiteFiles(const TempSite& site) {
  Files files = site.Snapshot();
  std::erase_if(files, [](const auto& file) { return file.first.starts_with("splicery.sic/"); });
  return files;
}

// Latin-1 pages hold windows-1252 bytes on disk.
Files OnDisk(Files site) {
  for (const char* page : {"latin.htm", "pragma.htm"}) {
    site[page] = Iconv(site[page], "UTF-8", "WINDOWS-1252");
  }
  return site;
}

TEST(Encodings, AMixedSiteShowsTheIntendedTextInEveryDeclaredPage) {
  TempSite site;
  const Files files = OnDisk(MixedSite());
  for (const auto& [path, bytes] : files) TempSite::Write(path, bytes);

  const testing::CliResult before = RunCli({"--lint"});
  EXPECT_NE(before.out.find("include.htm:1: Hinweis: Text aus include.htm (UTF-8) wird in 2 "
                            "Seiten nach windows-1252 umgewandelt\n"),
            std::string::npos)
      << before.out;
  ASSERT_EQ(RunCli({}).code, 0);

  // The intended text, decoded by each page's declaration, with Ł as a reference where the
  // page cannot hold it.
  const std::string menu_1252 =
      "<a>\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x80\x9E"
      "Start\xE2\x80\x9C \xE2\x82\xAC &#321;\xC3\xB3"
      "d&#378;</a>";
  const std::string news =
      "<li>02.02.2024 Stra\xC3\x9F"
      "e \xE2\x82\xAC</li>\n"
      "<li>01.02.2024 Gr\xC3\xBC\xC3\x9F"
      "e</li>\n";
  const std::string latin = Iconv(TempSite::Read("latin.htm"), "WINDOWS-1252", "UTF-8");
  EXPECT_NE(latin.find(kMenu + "\n" + menu_1252 + "\n"), std::string::npos) << latin;
  EXPECT_NE(latin.find(kNews + "\n" + news), std::string::npos) << latin;
  const std::string pragma = Iconv(TempSite::Read("pragma.htm"), "WINDOWS-1252", "UTF-8");
  EXPECT_NE(pragma.find(kMenu + "\n" + menu_1252 + "\n"), std::string::npos) << pragma;
  const std::string utf8 = TempSite::Read("utf8.htm");
  EXPECT_NE(utf8.find(kMenu + "\n" + kMenuText + "\n" + kEnd), std::string::npos) << utf8;
  EXPECT_NE(utf8.find(kNews + "\n" + news), std::string::npos) << utf8;
  // The undeclared page gets the bytes as before: include.htm's, unconverted.
  EXPECT_EQ(TempSite::Read("plain.htm"),
            "<html>\n" + kStart + kMenu + "\n" + kMenuText + "\n" + kEnd);

  const Files after_run = SiteFiles(site);
  EXPECT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(SiteFiles(site), after_run);  // a second run changes nothing
  const testing::CliResult after = RunCli({"--lint"});
  EXPECT_EQ(after.out.find("Warnung"), std::string::npos) << after.out;
  EXPECT_NE(after.out.find("plain.htm:1: Hinweis: Seite enthält Zeichen außerhalb von ASCII"),
            std::string::npos)
      << after.out;
}

TEST(Encodings, ToUtf8MovesTheSiteAndUndoBringsEveryByteBack) {
  TempSite site;
  Files files = OnDisk(MixedSite());
  // Windows-1252 include.htm this time; free of the five bytes iconv rejects.
  files["include.htm"] = Iconv(
      kMenu + "<a>\xC3\xA4 \xE2\x80\x9Ex\xE2\x80\x9C \xE2\x82\xAC</a>\n" + kNews + kTemplate + "\n",
      "UTF-8", "WINDOWS-1252");
  for (const auto& [path, bytes] : files) TempSite::Write(path, bytes);
  ASSERT_EQ(RunCli({}).code, 0);
  const Files before = SiteFiles(site);
  const Files with_backups = site.Snapshot();

  EXPECT_EQ(RunCli({"--check", "--to-utf8"}).code, 1);
  const testing::CliResult diff = RunCli({"--diff", "--to-utf8"});
  EXPECT_EQ(diff.code, 1);
  EXPECT_NE(diff.out.find("-<meta charset=\"iso-8859-1\">\n+<meta charset=\"utf-8\">\n"),
            std::string::npos)
      << diff.out;
  EXPECT_EQ(site.Snapshot(), with_backups);  // the dry runs wrote nothing

  const testing::CliResult moved = RunCli({"--to-utf8"});
  ASSERT_EQ(moved.code, 0) << moved.err;
  // Each converted file, decoded as UTF-8, is the original decoded as windows-1252 but for
  // the declaration.
  const std::pair<const char*, std::pair<std::string, std::string>> declared[] = {
      {"latin.htm", {kMeta1252, "<meta charset=\"utf-8\">\n"}},
      {"pragma.htm", {"charset=windows-1252", "charset=utf-8"}},
      {"include.htm", {"", ""}},
  };
  for (const auto& [page, change] : declared) {
    std::string expected = Iconv(before.at(page), "WINDOWS-1252", "UTF-8");
    if (!change.first.empty()) {
      expected.replace(expected.find(change.first), change.first.size(), change.second);
    }
    EXPECT_EQ(TempSite::Read(page), expected) << page;
  }
  EXPECT_EQ(TempSite::Read("utf8.htm"), before.at("utf8.htm"));
  // The undeclared page now holds UTF-8 text from the blocks, and says so.
  EXPECT_TRUE(TempSite::Read("plain.htm").starts_with("<html>\n<meta charset=\"utf-8\">\n"));
  const std::string journal = TempSite::Read("splicery.sic/journal.tsv");
  EXPECT_NE(journal.find("\tto-utf8\npage\t2\tinclude.htm\t"), std::string::npos) << journal;

  const Files converted = SiteFiles(site);
  EXPECT_EQ(RunCli({"--to-utf8"}).code, 0);  // a second move has nothing to do
  EXPECT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(SiteFiles(site), converted);
  EXPECT_EQ(RunCli({"--lint"}).code, 0);

  // The run after the move changed nothing, so the undo takes back the move.
  ASSERT_EQ(RunCli({"--undo"}).code, 0);
  EXPECT_EQ(SiteFiles(site), before);
}

// A file that cannot be converted stops the move before anything is written.
TEST(Encodings, ToUtf8StopsBeforeWritingAtAFileItCannotConvert) {
  const std::pair<std::string, std::string> cases[] = {
      {"<meta charset=\"utf-8\">\nStra\xDF"
       "e\n",
       "Byte 28 ist in UTF-8 nicht erlaubt"},
      {"<meta charset=\"euc-jp\">\n\xA4\n", "Byte 25 ist in EUC-JP nicht erlaubt"},
      {"<meta charset=\"klingon\">\n", "der Zeichensatz „klingon“ ist unbekannt"},
      {std::string("\xFF\xFE<\0h\0", 6), "die Datei ist in UTF-16 gespeichert"},
  };
  for (const auto& [bad, reason] : cases) {
    TempSite site({{"include.txt", "a.htm\nbad.htm\n"},
                   {"include.htm", kMenu + "x\n"},
                   {"a.htm", kMeta1252 + "\xE4\n"},
                   {"bad.htm", bad}});
    const Files before = site.Snapshot();
    const testing::CliResult moved = RunCli({"--to-utf8"});
    EXPECT_EQ(moved.code, 1);
    EXPECT_NE(moved.err.find("FEHLER beim Umwandeln von bad.htm\nsplicery-cli: bad.htm: " + reason),
              std::string::npos)
        << moved.err;
    EXPECT_EQ(site.Snapshot(), before);
  }
  // An all-UTF-8 site (declared, or undeclared and ASCII) writes and journals nothing.
  TempSite site({{"include.txt", "a.htm\nb.htm\n"},
                 {"include.htm", kMenu + "\xC3\xA4\n"},
                 {"a.htm", "<meta charset=utf-8>\n" + kStart + kMenu + "\n" + kEnd},
                 {"b.htm", "<p>ascii</p>\n"}});
  const Files before = site.Snapshot();
  EXPECT_EQ(RunCli({"--to-utf8"}).code, 0);
  EXPECT_EQ(site.Snapshot(), before);
}

}  // namespace
}  // namespace splicery
