// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/page_rewrite.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

using Texts = std::vector<std::string>;

std::string Page(const Texts& texts) {
  std::string bytes;
  for (const std::string& t : texts) bytes += t + "\n";
  return bytes;
}

Texts TextsOf(const LineBuffer& lines) {
  Texts texts;
  for (size_t i = 0; i < lines.size(); ++i) texts.emplace_back(lines[i]);
  return texts;
}

const std::string S = "<!-- INCLUDE START -->", E = "<!-- INCLUDE END -->";
const std::string MENU = "<!-- INCLUDE MENU -->", FOOT = "<!-- INCLUDE FOOT -->";
const std::string NEWS = "<!-- INCLUDE NEWS -->";

// Rewrites `bytes`; the lines the pass showed are found again from the spans alone.
void ExpectShownAgain(const std::string& bytes, BlockRewriter& blocks, LineBuffer& out,
                      Texts& keys) {
  Texts seen, again;
  std::vector<BlockSpan> spans;
  RewritePage(
      bytes, blocks, out, keys, [&](std::string_view line) { seen.emplace_back(line); }, &spans);
  ForEachShownLine(bytes, spans, [&](std::string_view line) { again.emplace_back(line); });
  EXPECT_EQ(again, seen);
  const std::optional<std::string_view> last = LastShownLine(bytes, spans);
  EXPECT_EQ(last ? Texts{std::string(*last)} : Texts{},
            seen.empty() ? Texts{} : Texts{seen.back()});
}

struct Rewrite {
  Texts include;
  SortedList news;
  Texts Run(const Texts& page) {
    BlockRewriter blocks(include, news);
    LineBuffer out;
    Texts keys;
    const std::string bytes = Page(page);
    ExpectShownAgain(bytes, blocks, out, keys);
    EXPECT_EQ(out.bytes(), Page(TextsOf(out)));  // every line keeps its LF
    return TextsOf(out);
  }
};

TEST(MarkersClose, TheLastMarkerLineMustClose) {
  const std::vector<std::pair<Texts, bool>> cases = {
      {{}, true},
      {{"<p>no markers</p>"}, true},
      {{S, MENU, E}, true},
      {{E, S, E}, true},
      {{S, S, E}, true},
      {{E}, true},  // an END without START is accepted
      {{E, S}, false},
      {{S, "x"}, false},
      {{S + E}, true},  // END is tested first
      {{E, "x " + S + " y"}, false},
      {{"<!-- include start -->"}, true},
  };
  for (const auto& [page, closes] : cases) {
    SCOPED_TRACE(::testing::PrintToString(page));
    EXPECT_EQ(MarkersClose(Page(page)), closes);
    if (!page.empty()) {
      EXPECT_EQ(MarkersClose(Page(page) + "tail"), closes);
    }
  }
}

TEST(RewritePage, WorkedExampleAndASecondRunChangesNothing) {
  Rewrite r{
      {MENU + "<a href='a.htm'>A</a>", FOOT + "<p>Impressum</p>", MENU + "<a href='b.htm'>B</a>"},
      {}};
  Texts page = {"<body>", S, MENU, "<a href='old.htm'>Old</a>", E, "</body>"};
  Texts once = r.Run(page);
  EXPECT_EQ(once, (Texts{"<body>", S, MENU, "<a href='a.htm'>A</a>", "<a href='b.htm'>B</a>", E,
                         "</body>"}));
  EXPECT_EQ(r.Run(once), once);
}

struct BlockCase {
  const char* name;
  Texts include;
  Texts page;
  Texts expected;
};

TEST(RewritePage, IncludeBlocks) {
  const std::vector<BlockCase> cases = {
      {"a block without key lines keeps only START and END",
       {MENU + "m"},
       {S, "old", "older", E},
       {S, E}},
      {"no include lines at all", {}, {S, MENU, "old", E}, {S, MENU, E}},
      {"key line that matches nothing", {FOOT + "f"}, {S, MENU, "old", E}, {S, MENU, E}},
      {"include line that is only the key gives one empty line",
       {MENU},
       {S, MENU, E},
       {S, MENU, "", E}},
      {"indented key line matches nothing", {MENU + "m"}, {S, "  " + MENU, E}, {S, "  " + MENU, E}},
      {"include lines outer, key lines inner; a key twice yields twice",
       {MENU + "m1", FOOT + "f1", "x" + MENU + "m2" + FOOT + "f2"},
       {S, FOOT, MENU, FOOT, E},
       {S, FOOT, MENU, FOOT, "m1", "f1", "f1", "f2", "m2" + FOOT + "f2", "f2", E}},
      {"fragment is taken behind the first occurrence of the key",
       {"pre" + MENU + "a" + MENU + "b"},
       {S, MENU, E},
       {S, MENU, "a" + MENU + "b", E}},
      {"a second START inside a block is a key line; the block ends at the first END",
       {S + "s"},
       {S, S, "old", E, "after", E},
       {S, S, "s", E, "after", E}},
      {"<!-- INCLUDE without a blank inside a block is dropped",
       {},
       {S, "<!-- INCLUDEMENU -->", E},
       {S, E}},
      {"text around markers on START, key and END lines is kept",
       {"<li>" + MENU + " x</li>ok"},
       {"<ul>" + S + "</ul>", "<li>" + MENU + " x</li>", "old", "a" + E + "b"},
       {"<ul>" + S + "</ul>", "<li>" + MENU + " x</li>", "ok", "a" + E + "b"}},
      {"a line with START and END is copied, outside and never drops lines",
       {MENU + "m"},
       {"x", S + E, MENU, "keep", E, "y"},
       {"x", S + E, MENU, "keep", E, "y"}},
      {"a line with START and END inside a block is its END line",
       {MENU + "m"},
       {S, MENU, "old", S + E, "keep"},
       {S, MENU, "m", S + E, "keep"}},
      {"a news block generates news, its other key lines nothing",
       {MENU + "m", NEWS + "n:<!-- NEWS NAME -->"},
       {S, MENU, NEWS, "old", E},
       {S, MENU, NEWS, "n:T", E}},
      {"two news blocks both get the full list",
       {NEWS + "<!-- NEWS NAME -->"},
       {S, NEWS, E, "mid", S, NEWS, "x", E},
       {S, NEWS, "T", E, "mid", S, NEWS, "T", E}},
      {"a block open at the end of the page writes no END line",
       {MENU + "m"},
       {S, MENU, "old"},
       {S, MENU, "m"}},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rewrite r{c.include, {}};
    r.news.Add("2003.08.15___p.htm___T");
    EXPECT_EQ(r.Run(c.page), c.expected);
  }
}

TEST(RewritePage, TerminatorsStayAndGeneratedLinesTakeTheStartLines) {
  Texts include = {MENU + "m1", MENU + "m2"};
  SortedList news;
  BlockRewriter blocks(include, news);
  const std::string page = "a\n" + S + "\r\n" + MENU + "\nold\n" + E + "\nz";
  LineBuffer out;
  Texts keys;
  Texts seen;
  RewritePage(page, blocks, out, keys, [&](std::string_view line) { seen.emplace_back(line); });
  EXPECT_EQ(out.bytes(), "a\n" + S + "\r\n" + MENU + "\nm1\r\nm2\r\n" + E + "\nz");
  EXPECT_EQ(keys, Texts{MENU});
  // The pass shows the lines it reads itself: outside blocks and START lines.
  EXPECT_EQ(seen, (Texts{"a", S, "z"}));
  for (const std::string& other : {page, "a\r" + S + "\r" + MENU + "\rold\r" + E + "\rz\r",
                                   S + "\r\n" + MENU + "\r\nold", S + E + "\n" + S + "\r" + E}) {
    ExpectShownAgain(other, blocks, out, keys);
  }
}

TEST(RewritePage, PagesWithoutBlocksComeBackByteForByte) {
  SortedList news;
  Texts include = {MENU + "m"};
  BlockRewriter blocks(include, news);
  for (std::string bytes :
       {"", "a", "a\n", "a\r\nb\nc\r\n", "x\r\r\n\n\ny", "<!-- INCLUDE END -->\r\n"}) {
    LineBuffer out;
    Texts keys;
    ExpectShownAgain(bytes, blocks, out, keys);
    EXPECT_EQ(out.bytes(), bytes);
  }
}

// Key lines that select many fragments from one include line keep their own order there, also
// past the size where a sort stops being a simple insertion sort.
TEST(BlockRewriter, ManyFragmentsOfOneIncludeLineKeepTheKeyOrder) {
  std::vector<std::string> keys;
  std::string first, second;
  for (int k = 40; k > 0; --k) {  // keys listed in the opposite order of the include line
    keys.push_back("<!-- INCLUDE K" + std::to_string(k) + " -->");
  }
  for (int k = 1; k <= 40; ++k)
    first += "<!-- INCLUDE K" + std::to_string(k) + " -->a" + std::to_string(k);
  second = "<!-- INCLUDE K7 -->b";
  const std::vector<std::string> include = {second, first, second};
  SortedList news;
  BlockRewriter blocks(include, news);
  std::vector<std::string_view> out;
  blocks.Substitute(keys, out);
  std::vector<std::string> expected = {"b"};
  for (const std::string& key : keys)
    expected.push_back(first.substr(first.find(key) + key.size()));
  expected.push_back("b");
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.end()), expected);
}

// Text goes in converted only where both sides are certain: the page declares its encoding and
// the piece's source encoding is known and another; a NEWS HREF never changes.
TEST(RewritePage, ConvertsPiecesOnlyWhereBothEncodingsAreCertain) {
  const std::string latin1 = "<meta charset=\"iso-8859-1\">", utf8 = "<meta charset=utf-8>";
  // Ü ... €, and Ł, which windows-1252 lacks; as include.htm holds it, in UTF-8.
  const std::string text =
      "\xC3\x9C"
      "ber \xE2\x82\xAC \xC5\x81";
  const std::string text_1252 =
      "\xDC"
      "ber \x80 &#321;";
  const std::string href = "s\xC3\xBC.htm";  // a file name, in include.txt's bytes
  const std::string title_utf8 = "M\xC3\xBChle", title_1252 = "M\xFChle";
  struct Case {
    std::string page_head, include_text, title_page_head, title;
    std::string menu, name;  // expected: the MENU line, the news line's text and title
  };
  const Case cases[] = {
      // A Latin-1 page gets UTF-8 text in windows-1252, Ł as a reference.
      {latin1, text, utf8, title_utf8, text_1252, text_1252 + " " + title_1252},
      // A UTF-8 page gets a windows-1252 title in UTF-8.
      {utf8, "plain", latin1, title_1252, "plain", "plain " + title_utf8},
      // Undeclared pages, equal encodings and unknown labels: the bytes as they are.
      {"<p>", text, latin1, title_1252, text, text + " " + title_1252},
      {"<meta charset=utf8>", text, utf8, title_utf8, text, text + " " + title_utf8},
      {"<meta charset=klingon>", text, latin1, title_1252, text, text + " " + title_1252},
      // A title from an undeclared page keeps its bytes.
      {latin1, "plain", "<p>", title_utf8, "plain", "plain " + title_utf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page_head + " / " + c.title_page_head);
    SourceEncodings sources;
    sources.include_source = DetectIncludeEncoding(c.include_text);
    sources.pages[href] = DetectPageEncoding(c.title_page_head);
    const Texts include = {MENU + c.include_text,
                           NEWS + c.include_text + " <!-- NEWS NAME --> <!-- NEWS HREF -->"};
    SortedList news;
    news.Add("2024.05.01___" + href + "___" + c.title);
    BlockRewriter blocks(include, news, &sources);
    LineBuffer out;
    Texts keys;
    RewritePage(Page({c.page_head, S, MENU, E, S, NEWS, E}), blocks, out, keys);
    EXPECT_EQ(TextsOf(out),
              (Texts{c.page_head, S, MENU, c.menu, E, S, NEWS, c.name + " " + href, E}));
  }
}

}  // namespace
}  // namespace splicery
