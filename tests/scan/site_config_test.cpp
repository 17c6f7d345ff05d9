// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/site_config.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

ConfigProblem P(size_t line, ConfigError error, std::string subject = {}, std::string other = {},
                size_t other_line = 0) {
  return {line, error, std::move(subject), std::move(other), other_line};
}

constexpr const char* kSite =
    "[site]\nadresse = https://www.example.org/verein/\ntitel = T\nautor = A\n";

struct SyntaxCase {
  const char* name;
  std::string ini;
  std::string title;                    // what titel reads as, when the file parses
  std::vector<std::string> omit;        // what auslassen reads as
  std::vector<ConfigProblem> problems;  // by line
};

TEST(SiteConfig, ReadsTheIniSyntax) {
  using E = ConfigError;
  const std::vector<SyntaxCase> cases = {
      {"BOM, CRLF, blanks and tabs around key and value, a comment after a blank",
       "\xEF\xBB\xBF[site]\r\n  adresse\t=  https://a.de/   # base\r\ntitel = Neu;es  \r\n"
       "autor=A#B\r\n[feed]\r\n",
       "Neu;es",
       {},
       {}},
      {"# glued to a value is no comment; a line comment and an empty value",
       "# Kopf\n[site]\nadresse = https://a.de/\ntitel = Tor#1 #2\nautor = x\n[feed]\n"
       "[sitemap]\nauslassen =\n",
       "Tor#1",
       {},
       {}},
      {"patterns split at blanks, a repeated section continues",
       "[sitemap]\nauslassen = impressum.htm   intern/*\n[site]\nadresse = http://a.de/\n"
       "[sitemap]\ndatei = karte.xml\n",
       "",
       {"impressum.htm", "intern/*"},
       {}},
      {"syntax errors, each at its line",
       "schluessel = 1\n[site\n[ ]\nnur text\n= wert\n[site]\nadresse = https://a.de/\n"
       "adresse = https://b.de/\n\xC3(\n[sitemap]\n",
       "",
       {},
       {P(1, E::kKeyOutsideSection, "schluessel"), P(2, E::kBadSection), P(3, E::kBadSection),
        P(4, E::kBadLine), P(5, E::kBadLine), P(8, E::kDuplicateKey, "adresse", "", 7),
        P(9, E::kNotUtf8)}},
  };
  for (const SyntaxCase& c : cases) {
    std::vector<ConfigProblem> problems;
    const SiteConfig config = ParseSiteConfig(c.ini, {}, &problems);
    EXPECT_EQ(problems, c.problems) << c.name;
    if (c.problems.empty()) {
      EXPECT_EQ(config.title, c.title) << c.name;
      EXPECT_EQ(config.omit, c.omit) << c.name;
    }
  }
}

struct MeaningCase {
  const char* name;
  std::string ini;
  std::vector<ConfigProblem> problems;
  std::string reason;  // the German text of the first problem
};

TEST(SiteConfig, NamesEveryConfigurationErrorAtItsLine) {
  using E = ConfigError;
  const std::string site = kSite;  // lines 1-4
  const std::vector<MeaningCase> cases = {
      {"a usable file",
       site + "[feed]\ndatei = news/atom.xml\neintraege = 1000\n[sitemap]\n",
       {},
       ""},
      {"unknown section and key",
       site + "[rss]\nx = 1\n[feed]\nformat = atom\n",
       {P(5, E::kUnknownSection, "rss"), P(8, E::kUnknownKey, "format", "feed")},
       "unbekannter Abschnitt [rss] (bekannt: [site], [feed], [sitemap])"},
      {"adresse missing: named at each section that needs it",
       "[site]\ntitel = T\nautor = A\n[feed]\n[sitemap]\n",
       {P(4, E::kAddressMissing, "feed"), P(5, E::kAddressMissing, "sitemap")},
       "[feed] verlangt adresse in [site]"},
      {"adresse without a slash at the end",
       "[site]\nadresse = https://a.de/verein\n[sitemap]\n",
       {P(2, E::kAddressMalformed, "https://a.de/verein")},
       "adresse https://a.de/verein ist keine absolute http- oder https-Adresse mit / am Ende"},
      {"adresse of another scheme, relative, with a query or a blank",
       "[site]\nadresse = ftp://a.de/\n[sitemap]\n",
       {P(2, E::kAddressMalformed, "ftp://a.de/")},
       ""},
      {"adresse relative",
       "[site]\nadresse = /verein/\n[sitemap]\n",
       {P(2, E::kAddressMalformed, "/verein/")},
       ""},
      {"adresse with a query",
       "[site]\nadresse = https://a.de/?x=/\n[sitemap]\n",
       {P(2, E::kAddressMalformed, "https://a.de/?x=/")},
       ""},
      {"adresse without host",
       "[site]\nadresse = https:///\n[sitemap]\n",
       {P(2, E::kAddressMalformed, "https:///")},
       ""},
      {"titel and autor missing with [feed], not with [sitemap] alone",
       "[site]\nadresse = https://a.de/\nautor =\n[feed]\n",
       {P(4, E::kKeyMissing, "titel"), P(4, E::kKeyMissing, "autor")},
       "[feed] verlangt titel in [site]"},
      {"eintraege 0",
       site + "[feed]\neintraege = 0\n",
       {P(6, E::kEntriesOutOfRange, "0")},
       "eintraege = 0: erwartet wird eine Zahl von 1 bis 1000"},
      {"eintraege 1001",
       site + "[feed]\neintraege = 1001\n",
       {P(6, E::kEntriesOutOfRange, "1001")},
       ""},
      {"eintraege not a number",
       site + "[feed]\neintraege = -5\n",
       {P(6, E::kEntriesOutOfRange, "-5")},
       ""},
      {"datei leaving the folder",
       site + "[feed]\ndatei = ../atom.xml\n",
       {P(6, E::kFileOutside, "../atom.xml")},
       "datei ../atom.xml nennt keine Datei im Ordner der Site"},
      {"datei absolute",
       site + "[sitemap]\ndatei = /tmp/s.xml\n",
       {P(6, E::kFileOutside, "/tmp/s.xml")},
       ""},
      {"datei empty", site + "[sitemap]\ndatei =\n", {P(6, E::kFileOutside, "")}, ""},
      {"datei in splicery.sic",
       site + "[feed]\ndatei = ./splicery.sic/atom.xml\n",
       {P(6, E::kFileInBackupFolder, "./splicery.sic/atom.xml")},
       "datei ./splicery.sic/atom.xml liegt in splicery.sic"},
      {"datei is a configuration file",
       site + "[sitemap]\ndatei = a/../include.htm\n",
       {P(6, E::kFileIsConfiguration, "include.htm")},
       "datei darf nicht include.htm sein"},
      {"datei is splicery.ini",
       site + "[feed]\ndatei = splicery.ini\n",
       {P(6, E::kFileIsConfiguration, "splicery.ini")},
       ""},
      {"datei is a listed page under another spelling",
       site + "[feed]\ndatei = news//x.htm\n",
       {P(6, E::kFileIsPage, "news/x.htm", "", 2)},
       "datei news/x.htm ist eine Seite aus include.txt (Zeile 2)"},
      {"the same file for both",
       site + "[feed]\ndatei = a.xml\n[sitemap]\ndatei = ./a.xml\n",
       {P(8, E::kSameFile, "a.xml", "", 6)},
       "datei a.xml ist schon die Datei des Feeds (Zeile 6)"},
      {"the defaults of both are the same file only when given so",
       site + "[feed]\n[sitemap]\ndatei = atom.xml\n",
       {P(7, E::kSameFile, "atom.xml", "", 5)},
       ""},
  };
  const std::vector<std::string> pages = {"index.htm", "./news/x.htm"};
  for (const MeaningCase& c : cases) {
    std::vector<ConfigProblem> problems;
    const SiteConfig config = ParseSiteConfig(c.ini, pages, &problems);
    EXPECT_EQ(problems, c.problems) << c.name;
    if (!c.reason.empty()) {
      ASSERT_FALSE(problems.empty()) << c.name;
      EXPECT_EQ(DescribeConfigProblem(problems.front()), c.reason) << c.name;
    }
    if (c.problems.empty()) {
      ASSERT_TRUE(config.base && config.feed && config.sitemap) << c.name;
      EXPECT_EQ(config.base->path, "/verein/");
      EXPECT_EQ(config.feed->file, "news/atom.xml");
      EXPECT_EQ(config.feed_entries, 1000u);
      EXPECT_EQ(config.sitemap->file, "sitemap.xml");
    }
  }
}

}  // namespace
}  // namespace splicery
