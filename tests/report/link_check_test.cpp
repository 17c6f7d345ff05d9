// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/link_check.h"

#include <gtest/gtest.h>

#include "files/posix_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::TempSite;

// "KIND segment|segment|... #fragment" for a parsed reference.
std::string Parsed(std::string_view value) {
  const Reference ref = ParseReference(value);
  if (ref.kind == Reference::Kind::kSkipped) return "skip";
  if (ref.kind == Reference::Kind::kMachinePath) return "machine";
  std::string out = ref.root ? "/" : "";
  for (size_t i = 0; i < ref.segments.size(); ++i) out += (i ? "|" : "") + ref.segments[i];
  if (ref.has_fragment) out += " #" + ref.fragment;
  if (ref.backslash) out += " \\";
  return out;
}

TEST(LinkCheck, ReferencesAreTakenApartAsTheUrlParserDoes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "skip"},
      {"  #  ", "skip"},
      {"mailto:a@b.de", "skip"},
      {"HTTPS://x.de/a.htm", "skip"},
      {"javascript:void(0)", "skip"},
      {"//cdn.example/x.js", "skip"},
      {"C:\\Daten\\a.htm", "machine"},
      {"c:/Daten/a.htm", "machine"},
      {"File:///home/a.htm", "machine"},
      {"\\\\server\\share\\a.htm", "machine"},
      {"a.htm", "a.htm"},
      {" a.htm\n", "a.htm"},
      {"te\nst.htm", "test.htm"},           // newlines inside are dropped
      {"sub/a.htm?x=1#t", "sub|a.htm #t"},  // the query goes
      {"a.htm#x?y", "a.htm #x?y"},          // a '?' after '#' is the fragment's
      {"/bilder/", "/bilder|"},             // an empty last segment: a folder
      {"../a%20b.htm", "..|a b.htm"},
      {"M%C3%A4rz.htm", "März.htm"},
      {"100%.htm", "100%.htm"},  // not %XX: stays
      {"#Anker%20eins", " #Anker eins"},
      {"sub\\a.htm", "sub|a.htm \\"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(Parsed(value), expected) << value;
}

TEST(LinkCheck, AttributesDecodeAndSrcsetSplitsAsTheStandardSays) {
  const std::vector<std::tuple<std::string, PageEncoding, std::string>> decode = {
      {"a.htm?x=1&amp;y=2", PageEncoding::kUtf8, "a.htm?x=1&y=2"},
      {"M&auml;rz.htm", PageEncoding::kUtf8, "März.htm"},
      {"M&#228;rz&#xE4;", PageEncoding::kUtf8, "Märzä"},
      {"&#150;", PageEncoding::kUtf8, "–"},           // C1 numbers mean windows-1252
      {"a&copy=1", PageEncoding::kUtf8, "a&copy=1"},  // no ';' and '=' after: literal
      {"a&ampb", PageEncoding::kUtf8, "a&ampb"},
      {"M\xE4rz.htm", PageEncoding::kWindows1252, "März.htm"},
      {"M\xC3\xA4rz.htm", PageEncoding::kUtf8, "März.htm"},
      {"\x80", PageEncoding::kWindows1252, "€"},
  };
  for (const auto& [raw, encoding, expected] : decode) {
    EXPECT_EQ(DecodeAttribute(raw, encoding), expected) << raw;
  }
  const std::vector<std::pair<std::string, std::vector<SrcsetUrl>>> srcsets = {
      {"a.jpg", {{0, "a.jpg"}}},
      {"a.jpg 1x, b.jpg 2x", {{0, "a.jpg"}, {10, "b.jpg"}}},
      {"a,b.jpg 1x,c.jpg", {{0, "a,b.jpg"}, {11, "c.jpg"}}},  // a comma inside a URL
      {"a.jpg,b.jpg", {{0, "a.jpg,b.jpg"}}},
      {" a.jpg,, b.jpg", {{1, "a.jpg"}, {9, "b.jpg"}}},  // trailing commas end it
      {"a.jpg (x,y) 1x, b.jpg", {{0, "a.jpg"}, {16, "b.jpg"}}},
      {" , ", {}},
  };
  for (const auto& [raw, expected] : srcsets) EXPECT_EQ(SplitSrcset(raw), expected) << raw;
}

std::vector<std::string> Lines(const std::vector<Finding>& findings) {
  std::vector<std::string> out;
  for (const Finding& f : findings) out.push_back(FormatFinding(f));
  return out;
}

// One site with a case of every finding, and references that must give none.
TEST(LinkCheck, EveryFindingAtItsLineAndNoneForWhatWorks) {
  TempSite site({
      {"index.htm",
       "<html><body background='bg.png'>\n"
       "<a href='#'>x</a> <a href='mailto:a@b.de'>m</a> <a href='seite.htm?x=1'>q</a>\n"
       "<a href='Seite.htm'>case</a> <a href='Seite.htm?x#oben'>each its own query</a>\n"
       "<img src='fehlt.png'\n     srcset='bild,1.png 1x, fehlt2.png 2x'>\n"
       "<a href='M%C3%A4rz.htm'>umlaut</a> <img src='Juni.png'>\n"
       "<a href='sub\\a.htm'>bs</a> <a href='C:\\web\\x.htm'>c</a>\n"
       "<a href='splicery.sic/index.htm. 1.htm'>backup</a> <a href='leer/'>folder</a>\n"
       "<a href='seite.htm#oben'>anchor</a> <a href='seite.htm#unten'>missing</a>\n"
       "<a href='#selbst'>self</a> <a href='#top'>top</a>\n"
       "<a href='extra.htm'>unlisted</a> <a href='/sub/'>folder</a> <a href='../x.htm'>up</a>\n"
       "<!-- <a href='kommentar.htm'> --><script>x='<a href=\"skript.htm\">'</script>\n"
       "<frameset><frame src='sub/a.htm'></frameset><a href='extra.htm#e'>e</a>\n"},
      {"seite.htm", "<a name='oben'></a><a href='index.htm'>zurück</a>"},
      {"bild,1.png", ""},
      {"bg.png", ""},
      {"Juni.png", ""},
      {"M\xE4rz.htm", ""},
      {"extra.htm", "<p id='e'>"},
      {"sub/index.htm", ""},
      {"sub/a.htm", "<base href='../'><a href='seite.htm'>rel. to the base</a>"},
      {"sub/b.htm", "<base href='https://example.org/'><a href='nirgends.htm'>x</a>"},
      {"leer/x.txt", ""},
      {"splicery.sic/index.htm. 1.htm", ""},
  });
  const std::vector<std::string> pages = {"index.htm", "seite.htm", "sub/a.htm", "sub/b.htm"};
  PosixFileSystem fs;
  LinkCheck check(fs, pages);
  std::vector<Finding> found;
  for (size_t i = 0; i < pages.size(); ++i) {
    check.CheckPage(i, TempSite::Read(pages[i]), found);
  }
  const std::vector<Finding> rest = check.Finish();
  found.insert(found.end(), rest.begin(), rest.end());
  const std::vector<std::string> expected = {
      "index.htm:3: Fehler: Verweis auf Seite.htm, die Datei heißt seite.htm",
      "index.htm:3: Fehler: Verweis auf Seite.htm?x#oben, die Datei heißt seite.htm?x#oben",
      "index.htm:4: Fehler: Verweis auf fehlende Datei fehlt.png",
      "index.htm:5: Fehler: Verweis auf fehlende Datei fehlt2.png",
      "index.htm:6: Fehler: Verweis auf M%C3%A4rz.htm, die Datei heißt März.htm (windows-1252)",
      "index.htm:7: Warnung: Verweis mit \\ statt /: sub\\a.htm",
      "index.htm:7: Warnung: Verweis auf einen Pfad dieses Rechners: C:\\web\\x.htm",
      "index.htm:8: Warnung: Verweis in den Sicherungsordner: splicery.sic/index.htm. 1.htm",
      "index.htm:8: Warnung: Verweis auf den Ordner leer/ ohne index.htm oder index.html",
      "index.htm:10: Warnung: Anker #selbst fehlt in index.htm",
      "index.htm:11: Hinweis: Verweis auf extra.htm, die nicht in include.txt steht",
      "index.htm:11: Hinweis: Verweis auf /sub/, die nicht in include.txt steht",
      "index.htm:11: Warnung: Verweis verlässt den Ordner: ../x.htm",
      "sub/b.htm:1: Hinweis: <base href> zeigt auf https://example.org/: die relativen Verweise "
      "der Seite werden nicht geprüft",
      "index.htm:9: Warnung: Anker #unten fehlt in seite.htm",
      "include.txt:4: Hinweis: Datei wird von keiner Seite verlinkt",
  };
  EXPECT_EQ(Lines(found), expected);
}

// A fragment's reference is checked in every page but reported once per key, naming the page;
// pages checked out of include.txt order (the lint checks those with news blocks last) give the
// note on a page outside the list at its first reference in that order all the same.
TEST(LinkCheck, AReferenceOfAFragmentIsReportedOncePerKey) {
  TempSite site({{"a.htm", "<a href='weg.htm'>\n<a href='extra.htm'>"},
                 {"b.htm", "<a href='weg.htm'>\n<a href='a.htm'> <a href='extra.htm'>"},
                 {"extra.htm", ""}});
  const std::vector<std::string> pages = {"a.htm", "b.htm"};
  PosixFileSystem fs;
  LinkCheck check(fs, pages);
  std::vector<Finding> found;
  for (size_t i : {1, 0}) {  // a.htm last, as a page with a news block
    const auto origin_of = [&](size_t, size_t line) {
      return line == 1 ? RefOrigin{"include.htm", 7, "7"} : RefOrigin{pages[i], line, {}};
    };
    check.CheckPage(i, TempSite::Read(pages[i]), found, origin_of);
  }
  const std::vector<std::string> rest = Lines(check.Finish());
  EXPECT_EQ(Lines(found),
            (std::vector<std::string>{
                "a.htm:2: Hinweis: Verweis auf extra.htm, die nicht in include.txt steht"}));
  EXPECT_EQ(rest,
            (std::vector<std::string>{
                "include.txt:2: Hinweis: Datei wird von keiner Seite verlinkt",
                "include.htm:7: Fehler: Verweis auf fehlende Datei weg.htm (geprüft in b.htm)"}));
}

}  // namespace
}  // namespace splicery
