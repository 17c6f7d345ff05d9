// SPDX-License-Identifier: GPL-3.0-or-later
// Feed and sitemap end to end: splicery.ini's errors in the scan and in --lint, the files
// written like pages, left alone by a second run, listed by --check, taken back by --undo.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::RunCli;
using testing::TempSite;

const std::string kIni =
    "[site]\nadresse = https://www.tsv-lindenau.de/\ntitel = TSV\nautor = TSV e. V.\n"
    "[feed]\ndatei = news/atom.xml\n[sitemap]\n";

Files Site(const std::string& ini) {
  return {{"include.txt", "a.htm\nb.htm\n"},
          {"include.htm", "<!-- INCLUDE MENU -->eins\n"},
          {"a.htm", "<!-- STAND START --> 14.03.2026 <!-- Tom &amp; Jerry -->\n"},
          {"b.htm", "<p>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n<!-- INCLUDE END -->\n"},
          {"news/.keep", ""},
          {"splicery.ini", ini}};
}

int64_t MtimeNs(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec
                                        : -1;
}

TEST(Feed, AnUnusableIniStopsTheScanAndLintNamesEveryLine) {
  TempSite site(Site("[site]\nadresse = https://a.de\n[feed]\neintraege = 0\n"));
  const Files before = site.Snapshot();
  const auto run = RunCli({});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err,
            "FEHLER beim Lesen von SPLICERY.INI\n"
            "splicery-cli: splicery.ini:2: adresse https://a.de ist keine absolute http- oder "
            "https-Adresse mit / am Ende\n");
  EXPECT_EQ(site.Snapshot(), before);
  const auto lint = RunCli({"--lint"});
  EXPECT_EQ(lint.code, 1);
  EXPECT_NE(lint.out.find("splicery.ini:2: Fehler: adresse"), std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("splicery.ini:3: Fehler: [feed] verlangt titel in [site]\n"
                          "splicery.ini:3: Fehler: [feed] verlangt autor in [site]\n"
                          "splicery.ini:4: Fehler: eintraege = 0"),
            std::string::npos)
      << lint.out;
}

TEST(Feed, WrittenLikePagesCheckedAndUndone) {
  TempSite site(Site(kIni));
  TempSite::Write("robots.txt", "User-agent: *\n");
  EXPECT_NE(RunCli({"--lint"}).out.find("robots.txt:1: Hinweis: "), std::string::npos);
  const auto check = RunCli({"--check"});
  EXPECT_EQ(check.code, 1);
  EXPECT_NE(check.out.find("Datei news/atom.xml ist nicht aktuell\n"
                           "Datei sitemap.xml ist nicht aktuell\n"),
            std::string::npos)
      << check.out;

  const auto first = RunCli({});
  ASSERT_EQ(first.code, 0) << first.err;
  EXPECT_NE(first.out.find("Datei news/atom.xml wird geschrieben\n"
                           "Datei sitemap.xml wird geschrieben\n"
                           "INCLUDE wurde erfolgreich durchgeführt"),
            std::string::npos)
      << first.out;
  const std::string feed = TempSite::Read("news/atom.xml");
  EXPECT_NE(feed.find("<title type=\"html\">Tom &amp;amp; Jerry</title>"), std::string::npos);
  EXPECT_NE(TempSite::Read("sitemap.xml").find("<loc>https://www.tsv-lindenau.de/b.htm</loc>"),
            std::string::npos);
  EXPECT_NE(TempSite::Read("splicery.sic/journal.tsv").find("created\t1\tnews/atom.xml\t"),
            std::string::npos);

  // A second run leaves both files' bytes and modification times alone.
  const int64_t feed_time = MtimeNs("news/atom.xml"), map_time = MtimeNs("sitemap.xml");
  EXPECT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(MtimeNs("news/atom.xml"), feed_time);
  EXPECT_EQ(MtimeNs("sitemap.xml"), map_time);
  EXPECT_TRUE(
      RunCli({"--check"}).out.ends_with("b.htm wird bearbeitet\nAlle Dateien sind aktuell\n"));

  // A fixed title: the feed is backed up under the page rule, --diff shows it, undo restores.
  TempSite::Write("a.htm", "<!-- STAND START --> 14.03.2026 <!-- Tom und Jerry -->\n");
  const auto diff = RunCli({"--diff"});
  EXPECT_NE(diff.out.find("+    <title type=\"html\">Tom und Jerry</title>"), std::string::npos)
      << diff.out;
  ASSERT_EQ(RunCli({}).code, 0);
  EXPECT_EQ(TempSite::Read("splicery.sic/news/atom.xml. 1.htm"), feed);
  const std::string fixed = TempSite::Read("news/atom.xml");
  // The entry keeps its id.
  const auto entry_id = [](const std::string& xml) {
    const size_t at = xml.find("<id>tag:");
    return xml.substr(at, xml.find("</id>", at) - at);
  };
  EXPECT_EQ(entry_id(fixed), entry_id(feed));
  ASSERT_EQ(RunCli({"--undo"}).code, 0);
  EXPECT_EQ(TempSite::Read("news/atom.xml"), feed);
  // Undoing the first run removes the files it created.
  TempSite::Write("a.htm", "<!-- STAND START --> 14.03.2026 <!-- Tom &amp; Jerry -->\n");
  const auto undo_first = RunCli({"--undo"});
  EXPECT_NE(undo_first.out.find("Datei news/atom.xml wird gelöscht"), std::string::npos)
      << undo_first.out << undo_first.err;
  EXPECT_FALSE(TempSite::Exists("news/atom.xml"));
  EXPECT_FALSE(TempSite::Exists("sitemap.xml"));
}

// Parts an earlier, larger site needed go like pages: backed up, journaled, listed by --check,
// and put back by --undo. The search stops at the first file that is no part of ours.
TEST(Feed, SitemapPartsNoLongerNeededAreRemoved) {
  TempSite site(Site(kIni));
  const std::string part =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n</urlset>\n";
  for (const char* name : {"sitemap-1.xml", "sitemap-2.xml", "sitemap-4.xml"}) {
    TempSite::Write(name, part);
  }
  TempSite::Write("sitemap-3.xml", "<p>von Hand</p>\n");
  const auto check = RunCli({"--check"});
  EXPECT_NE(check.out.find("Datei sitemap.xml ist nicht aktuell\n"
                           "Datei sitemap-1.xml ist nicht aktuell\n"
                           "Datei sitemap-2.xml ist nicht aktuell\n"),
            std::string::npos)
      << check.out;
  const auto run = RunCli({});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("Datei sitemap-1.xml wird gelöscht\nDatei sitemap-2.xml wird gelöscht\n"),
            std::string::npos)
      << run.out;
  EXPECT_FALSE(TempSite::Exists("sitemap-1.xml"));
  EXPECT_FALSE(TempSite::Exists("sitemap-2.xml"));
  EXPECT_TRUE(TempSite::Exists("sitemap-3.xml"));
  EXPECT_TRUE(TempSite::Exists("sitemap-4.xml"));
  EXPECT_EQ(TempSite::Read("splicery.sic/sitemap-2.xml. 1.htm"), part);
  EXPECT_NE(TempSite::Read("splicery.sic/journal.tsv")
                .find("removed\t1\tsitemap-2.xml\tsplicery.sic/sitemap-2.xml. 1.htm\t"),
            std::string::npos);
  EXPECT_TRUE(RunCli({"--check"}).out.ends_with("Alle Dateien sind aktuell\n"));
  ASSERT_EQ(RunCli({"--undo"}).code, 0);
  EXPECT_EQ(TempSite::Read("sitemap-1.xml"), part);
  EXPECT_EQ(TempSite::Read("sitemap-2.xml"), part);
  EXPECT_FALSE(TempSite::Exists("sitemap.xml"));
}

TEST(Feed, ARunThatStopsAtAPageWritesNeither) {
  Files files = Site(kIni);
  files["b.htm"] = "<!-- INCLUDE START -->\n";
  TempSite site(files);
  EXPECT_EQ(RunCli({}).code, 1);
  EXPECT_FALSE(TempSite::Exists("news/atom.xml"));
  EXPECT_FALSE(TempSite::Exists("sitemap.xml"));
}

}  // namespace
}  // namespace splicery
