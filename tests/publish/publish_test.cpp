// SPDX-License-Identifier: GPL-3.0-or-later
// The feed and the sitemap read back with libxml2, and the helpers they are made of.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>
#include <set>

#include "publish/feed.h"
#include "publish/page_facts.h"
#include "publish/site_files.h"
#include "publish/sitemap.h"

namespace splicery {
namespace {

// A parsed document and XPath over it, with the Atom and sitemap namespaces as a: and s:.
class Xml {
 public:
  explicit Xml(const std::string& bytes)
      : doc_(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "x.xml", nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
             xmlFreeDoc) {}
  bool ok() const { return doc_ != nullptr; }
  std::vector<std::string> All(const char* path) const {
    std::vector<std::string> out;
    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctx(
        xmlXPathNewContext(doc_.get()), xmlXPathFreeContext);
    xmlXPathRegisterNs(ctx.get(), BAD_CAST "a", BAD_CAST "http://www.w3.org/2005/Atom");
    xmlXPathRegisterNs(ctx.get(), BAD_CAST "s",
                       BAD_CAST "http://www.sitemaps.org/schemas/sitemap/0.9");
    std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> found(
        xmlXPathEvalExpression(BAD_CAST path, ctx.get()), xmlXPathFreeObject);
    if (!found || !found->nodesetval) return out;
    for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
      xmlChar* text = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
      out.emplace_back(reinterpret_cast<const char*>(text));
      xmlFree(text);
    }
    return out;
  }

 private:
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc_;
};

TEST(WebText, PathsUrlsDatesAndText) {
  struct Case {
    std::string path;
    std::optional<std::string> resolved;
  };
  for (const Case& c : std::vector<Case>{{"a.htm", "a.htm"},
                                         {"./x/../b/./c.htm", "b/c.htm"},
                                         {"x//y.htm", "x/y.htm"},
                                         {"x/.y/a..b.htm", "x/.y/a..b.htm"},
                                         {"../a.htm", std::nullopt},
                                         {"x/../../a.htm", std::nullopt},
                                         {"/etc/a.htm", std::nullopt},
                                         {"x/", std::nullopt},
                                         {"x/..", std::nullopt},
                                         {".", std::nullopt},
                                         {"", std::nullopt}}) {
    EXPECT_EQ(ResolvePath(c.path), c.resolved) << c.path;
  }
  EXPECT_EQ(PercentEncodePath("Über uns/a b~-_.%&?#+.htm"),
            "%C3%9Cber%20uns/a%20b~-_.%25%26%3F%23%2B.htm");
  EXPECT_EQ(XmlEscape("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d&apos;");

  struct DateCase {
    const char* stand;
    std::optional<std::string> iso;
  };
  for (const DateCase& c : std::vector<DateCase>{{"14.03.2026", "2026-03-14"},
                                                 {"29.02.2024", "2024-02-29"},
                                                 {"29.02.2100", std::nullopt},
                                                 {"29.02.2000", "2000-02-29"},
                                                 {"31.02.2026", std::nullopt},
                                                 {"31.04.2026", std::nullopt},
                                                 {"00.00.0000", std::nullopt},
                                                 {"1.3.2026", std::nullopt},
                                                 {"01.13.2026", std::nullopt},
                                                 {"01.01.26", std::nullopt},
                                                 {"0a.01.2026", std::nullopt}}) {
    EXPECT_EQ(IsoDate(c.stand), c.iso) << c.stand;
  }

  const std::optional<BaseUrl> base = ParseBaseUrl("HTTPS://user@WWW.Example.org:8443/v/");
  ASSERT_TRUE(base);
  EXPECT_EQ(base->host, "www.example.org");
  EXPECT_EQ(base->path, "/v/");
  EXPECT_EQ(TagId(*base, "2026-03-14", "a b.htm"), "tag:www.example.org,2026-03-14:/v/a%20b.htm");

  struct TextCase {
    std::string bytes;
    PageEncoding encoding;
    std::string utf8;
  };
  for (const TextCase& c : std::vector<TextCase>{
           {"Gr\xC3\xBC\xC3\x9F"
            "e",
            PageEncoding::kUnknown, "Grüße"},
           {"Gr\xFC\xDF"
            "e \x80 \x93",
            PageEncoding::kUnknown, "Grüße € “"},
           {"a\x01"
            "b\tc",
            PageEncoding::kUnknown,
            "a\xEF\xBF\xBD"
            "b\tc"},
           {"a\xFC", PageEncoding::kUtf8, "a\xEF\xBF\xBD"},
           {"\xEF\xBF\xBF", PageEncoding::kUtf8, "\xEF\xBF\xBD"},  // U+FFFF is no XML character
           {"\xC3\xBC", PageEncoding::kWindows1252, "Ã¼"}}) {
    EXPECT_EQ(DecodeToXmlText(c.bytes, c.encoding), c.utf8) << c.bytes;
  }
}

// The one pass that finds both facts gives what the tag walk and the stand search give, wherever
// the text lies in a page (every place in a block of the vector test and in the tail after it),
// among text that nearly holds the robots word or the stand marker.
TEST(PageFacts, RobotsMetaIsReadAsHtmlAttributes) {
  using namespace std::string_literals;
  struct Case {
    std::string page;
    bool noindex;
    std::string newest = "";
  };
  for (const Case& c : std::vector<Case>{
           {R"(<meta name="robots" content="noindex, follow">)", true},
           {R"(<META CONTENT='NoFollow,NONE' Name=" Robots ">)", true},
           {R"(<meta name=robots content=noindex />)", true},
           {"<meta\ncontent=\"index,\tnoindex\"\nname=\"robots\">", true},
           {R"(<meta name="rObOtS" content="noindex">)", true},
           {"x\0<meta name=ROBOTS content=none>"s, true},
           {R"(<meta name="robots" content="index, follow">)", false},
           {R"(<meta name="googlebot" content="noindex">)", false},
           {R"(<meta name="description" content="robots noindex">)", false},
           {R"(<meta name="robots" content="noindexed">)", false},
           {R"(<!-- <meta name="robots" content="noindex"> -->)", false},
           {R"(<script>s = '<meta name="robots" content="noindex">';</script>)", false},
           {R"(<p title='<meta name="robots" content="noindex">'>)", false},
           {R"(<metadata name="robots" content="noindex">)", false},
           {R"(<meta name="robots" name="x" content="noindex">)", true},
           {"<meta content=none name=robots", true},  // last of all on the page
           {R"(<meta name="x" name="robots" content="noindex">)", false},
           {"<meta name=\"rob\0ots\" content=noindex>"s, false},
           {"<!-- STAND START --> 01.02.2026 <!-- A -->\n"
            "<!-- STAND START --> 31.02.2027 <!-- kein Datum -->\n"
            "<!-- STAND START --> 05.01.2026 <!-- B --><meta name=robots content=none>\n",
            true, "2026-02-01"},
           {"<!-- STAND START --> 00.00.0000 <!-- X -->\n", false},
           // A line's second marker is not read; the marker's letter case counts.
           {"<!-- STAND START --> 01.02.2026 <!-- A --><!-- STAND START --> 05.01.2027 <!-- B -->\n"
            "<!-- stand start --> 05.01.2028 <!-- C -->\n",
            false, "2026-02-01"},
       }) {
    const std::string near = "<!-- Stand -->\n";
    std::string text;
    while (text.size() < 140) text += "Rabies-Probe, Arbeits-Robe; ";
    text.resize(140);
    for (size_t before = 0; before <= text.size(); ++before) {
      const std::string after = text.substr(before);  // after a blank, if any
      const std::string page =
          near + text.substr(0, before) + c.page + (after.empty() ? "" : " " + after);
      SCOPED_TRACE(page);
      EXPECT_EQ(RobotsNoIndex(page), c.noindex);
      EXPECT_EQ(NewestStandDate(page), c.newest);
      const PageFacts facts = ReadPageFacts(page);
      EXPECT_EQ(facts.noindex, c.noindex);
      EXPECT_EQ(facts.newest_stand, c.newest);
    }
  }
}

FeedSettings Settings(size_t entries = 20) {
  return {*ParseBaseUrl("https://www.tsv.de/verein/"), "news/atom.xml", "TSV – Neu & gut",
          "TSV e. V.", entries};
}

// Each title is read in the encoding its page declares; an undeclared page's as UTF-8 where
// valid, else windows-1252.
TEST(Feed, ReadsEachTitleInItsPagesEncoding) {
  const struct {
    const char* page;
    std::string head, title, shown;
  } cases[] = {
      {"g.htm", "<meta charset=iso-8859-7>", "\xE1\xE2", "αβ"},
      {"w.htm", "<meta charset=windows-1252>", "\xC3\xBC \x84", "Ã¼ „"},
      {"u.htm", "<meta charset=utf-8>", "a\xFC", "a\xEF\xBF\xBD"},
      {"n.htm", "",
       "Gr\xFC\xDF"
       "e",
       "Grüße"},
      {"m.htm", "",
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Grüße"},
  };
  std::vector<NewsStand> stands;
  SourceEncodings encodings;
  std::vector<std::string> shown;
  for (size_t i = 0; i < std::size(cases); ++i) {
    stands.push_back({"0" + std::to_string(9 - i) + ".01.2026", cases[i].page, cases[i].title});
    encodings.pages.emplace(cases[i].page, DetectPageEncoding(cases[i].head));
    shown.push_back(cases[i].shown);
  }
  const Xml xml(*BuildFeed(Settings(), ToNewsItems(stands, &encodings)));
  EXPECT_EQ(xml.All("//a:entry/a:title"), shown);
}

// The stands the feed reads in their pages' encodings: only those of the newest dates, and
// the feed of them is the feed of all, with ties at the cut-off, a page with several stands
// of one date, one page under two names, dates that are no calendar date and pages outside.
TEST(Feed, TheNewestStandsGiveTheWholeFeed) {
  const std::vector<std::string> dates = {"01.01.2026", "02.01.2026", "15.03.2025", "28.02.2024",
                                          "1.3.2026",   "31.02.2026", "00.00.0000"};
  const std::vector<std::string> pages = {"a.htm", "./a.htm", "b.htm", "../x.htm", "c/d.htm"};
  size_t cut = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::vector<NewsStand> stands;
    for (uint32_t i = 0, r = seed; i < seed * 3; ++i) {
      r = r * 1103515245 + 12345;
      stands.push_back({dates[(r >> 8) % (seed % 4 == 0 ? 3 : dates.size())],
                        pages[(r >> 16) % pages.size()], "T" + std::to_string(r % 5)});
    }
    for (size_t entries : {1, 2, 5, 20}) {
      const std::vector<NewsStand> newest = NewestStands(stands, entries);
      cut += newest.size() < stands.size();
      EXPECT_EQ(BuildFeed(Settings(entries), ToNewsItems(newest)),
                BuildFeed(Settings(entries), ToNewsItems(stands)))
          << seed << " " << entries;
    }
  }
  EXPECT_GT(cut, 40u);  // the shortcut was taken, not only the way round it
}

TEST(Feed, ReadsBackNewestFirstWithUniqueIdsAndEscapedText) {
  const std::vector<NewsItem> items = {
      {"14.03.2026", "a.htm", "Tom &amp; Jerry <b>fett</b> \"zitiert\" 'x'",
       PageEncoding::kUnknown},
      {"01.01.2026", "./über uns/b c.htm",
       "Gr\xFC\xDF"
       "e",
       PageEncoding::kUnknown},
      {"14.03.2026", "a.htm", "Zweiter Eintrag derselben Seite am selben Tag"},
      {"14.03.2026", "x/../a.htm", "Dieselbe Seite unter anderem Namen"},
      {"31.02.2026", "d.htm", "kein Kalenderdatum"},
      {"1.3.2026", "e.htm", "einstellig"},
      {"00.00.0000", "f.htm", "ohne Datum"},
      {"02.03.2026", "../g.htm", "außerhalb"},
      {"20.12.2025", "a.htm", "Ältere Meldung derselben Seite"},
  };
  const std::optional<std::string> feed = BuildFeed(Settings(), items);
  ASSERT_TRUE(feed);
  const Xml xml(*feed);
  ASSERT_TRUE(xml.ok()) << *feed;
  EXPECT_EQ(xml.All("/a:feed/a:id"),
            std::vector<std::string>{"https://www.tsv.de/verein/news/atom.xml"});
  EXPECT_EQ(xml.All("/a:feed/a:title"), std::vector<std::string>{"TSV – Neu & gut"});
  EXPECT_EQ(xml.All("/a:feed/a:author/a:name"), std::vector<std::string>{"TSV e. V."});
  EXPECT_EQ(xml.All("/a:feed/a:link[@rel='self']/@href"),
            std::vector<std::string>{"https://www.tsv.de/verein/news/atom.xml"});
  EXPECT_EQ(xml.All("/a:feed/a:link[@rel='alternate']/@href"),
            std::vector<std::string>{"https://www.tsv.de/verein/"});
  EXPECT_EQ(xml.All("/a:feed/a:updated"), std::vector<std::string>{"2026-03-14T00:00:00Z"});
  // "Tom &amp; Jerry" and "Zweiter Eintrag": both a.htm on 14.03.; the first in index order wins.
  EXPECT_EQ(xml.All("//a:entry/a:title"),
            (std::vector<std::string>{items[0].title, "Grüße", "Ältere Meldung derselben Seite"}));
  EXPECT_EQ(xml.All("//a:entry/a:link/@href"),
            (std::vector<std::string>{"https://www.tsv.de/verein/a.htm",
                                      "https://www.tsv.de/verein/%C3%BCber%20uns/b%20c.htm",
                                      "https://www.tsv.de/verein/a.htm"}));
  EXPECT_EQ(xml.All("//a:entry/a:updated"),
            (std::vector<std::string>{"2026-03-14T00:00:00Z", "2026-01-01T00:00:00Z",
                                      "2025-12-20T00:00:00Z"}));
  const std::vector<std::string> ids = xml.All("//a:entry/a:id");
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  EXPECT_EQ(ids[1], "tag:www.tsv.de,2026-01-01:/verein/%C3%BCber%20uns/b%20c.htm");

  // A title with markup and an entity survives one unescaping as the HTML it was.
  const std::vector<NewsItem> markup = {items[0]};
  const Xml one(*BuildFeed(Settings(), markup));
  EXPECT_EQ(one.All("//a:entry/a:title"), std::vector<std::string>{items[0].title});
  EXPECT_EQ(one.All("//a:entry/a:title/@type"), std::vector<std::string>{"html"});

  // Fixing a title keeps the entry's id; a new date makes a new one.
  std::vector<NewsItem> fixed = {{"01.01.2026", "./über uns/b c.htm", "Grüße, berichtigt"}};
  EXPECT_EQ(Xml(*BuildFeed(Settings(), fixed)).All("//a:entry/a:id"),
            std::vector<std::string>{ids[1]});
  fixed[0].date = "02.01.2026";
  EXPECT_NE(Xml(*BuildFeed(Settings(), fixed)).All("//a:entry/a:id"),
            std::vector<std::string>{ids[1]});

  EXPECT_EQ(Xml(*BuildFeed(Settings(2), items)).All("//a:entry").size(), 2u);
  EXPECT_FALSE(BuildFeed(Settings(), {items[4], items[5], items[6], items[7]}));
  EXPECT_EQ(BuildFeed(Settings(), items), feed) << "the same news gives the same bytes";
}

TEST(Sitemap, ListsEachPageOnceAndSplitsAtTheLimits) {
  SitemapSettings settings{
      *ParseBaseUrl("https://a.de/"), "sitemap.xml", {"impressum.htm", "intern/*"}};
  const std::vector<SitemapPage> pages = {
      {"index.htm", FileKey{1, 1}, "2026-03-14", false},
      {"./index.htm", FileKey{1, 1}, "", false},
      {"link-auf-index.htm", FileKey{1, 1}, "", false},
      {"impressum.htm", FileKey{1, 2}, "", false},
      {"intern/a/b.htm", FileKey{1, 3}, "", false},
      {"geheim.htm", FileKey{1, 4}, "", true},
      {"../draussen.htm", std::nullopt, "", false},
      {"Ä & <b>/x y.htm", FileKey{1, 5}, "", false},
  };
  const std::vector<SitemapFile> files = BuildSitemap(settings, pages);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].path, "sitemap.xml");
  const Xml xml(files[0].bytes);
  ASSERT_TRUE(xml.ok()) << files[0].bytes;
  EXPECT_EQ(xml.All("/s:urlset/s:url/s:loc"),
            (std::vector<std::string>{"https://a.de/index.htm",
                                      "https://a.de/%C3%84%20%26%20%3Cb%3E/x%20y.htm"}));
  EXPECT_EQ(xml.All("/s:urlset/s:url/s:lastmod"), std::vector<std::string>{"2026-03-14"});

  // 50,001 generated pages: an index and two parts, none beyond the limits.
  std::vector<SitemapPage> many(50001);
  for (size_t i = 0; i < many.size(); ++i) many[i].path = "p" + std::to_string(i) + ".htm";
  many[50000].lastmod = "2026-01-02";
  const std::vector<SitemapFile> split = BuildSitemap(settings, many);
  ASSERT_EQ(split.size(), 3u);
  EXPECT_EQ(split[1].path, "sitemap-1.xml");
  EXPECT_EQ(split[2].path, "sitemap-2.xml");
  const Xml index(split[0].bytes);
  EXPECT_EQ(index.All("/s:sitemapindex/s:sitemap/s:loc"),
            (std::vector<std::string>{"https://a.de/sitemap-1.xml", "https://a.de/sitemap-2.xml"}));
  EXPECT_EQ(index.All("/s:sitemapindex/s:sitemap/s:lastmod"),
            std::vector<std::string>{"2026-01-02"});
  EXPECT_EQ(Xml(split[1].bytes).All("//s:url").size(), 50000u);
  EXPECT_EQ(Xml(split[2].bytes).All("//s:loc"),
            std::vector<std::string>{"https://a.de/p50000.htm"});
  EXPECT_EQ(BuildSitemap(settings, std::vector<SitemapPage>(many.begin(), many.end() - 1)).size(),
            1u);

  // The byte limit splits too, and no part exceeds it.
  const std::vector<SitemapFile> by_bytes = BuildSitemap(settings, many, {50000, 500000});
  EXPECT_GT(by_bytes.size(), 3u);
  size_t urls = 0;
  for (size_t i = 1; i < by_bytes.size(); ++i) {
    EXPECT_LE(by_bytes[i].bytes.size(), 500000u);
    EXPECT_EQ(by_bytes[i].path, SitemapPartName("sitemap.xml", i));
    urls += Xml(by_bytes[i].bytes).All("//s:url").size();
  }
  EXPECT_EQ(urls, many.size());
  EXPECT_EQ(SitemapPartName("karten.v2/karte", 3), "karten.v2/karte-3.xml");
  EXPECT_TRUE(MatchesPattern("*a*b", "xayyb"));
  EXPECT_FALSE(MatchesPattern("*a*b", "xaybz"));
}

}  // namespace
}  // namespace splicery
