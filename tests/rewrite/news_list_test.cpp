// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/news_list.h"

#include <gtest/gtest.h>

#include <random>

namespace splicery {
namespace {

using Lines = std::vector<std::string>;

SortedList Index(const Lines& entries) {
  SortedList list;
  for (const std::string& e : entries) list.Add(e);
  return list;
}

const std::string kNews = "<!-- INCLUDE NEWS -->";

Lines NewsLines(const SortedList& index, const Lines& include) {
  LineBuffer out;
  BuildNewsLines(index, include, out);
  Lines lines;
  for (size_t i = 0; i < out.size(); ++i) lines.emplace_back(out[i]);
  return lines;
}

TEST(NewsList, WorkedExampleNewestFirst) {
  SortedList index =
      Index({"2003.09.02___termine.htm___Herbstprogramm", "2003.08.15___news.htm___Sommerfest"});
  Lines include = {"<!-- INCLUDE MENU --><a>x</a>",
                   kNews +
                       "<li><!-- NEWS DATE --> <a href='<!-- NEWS HREF -->'>"
                       "<!-- NEWS NAME --></a></li>"};
  EXPECT_EQ(NewsLines(index, include),
            (Lines{"<li>02.09.2003 <a href='termine.htm'>Herbstprogramm</a></li>",
                   "<li>15.08.2003 <a href='news.htm'>Sommerfest</a></li>"}));
}

struct NewsCase {
  const char* name;
  Lines entries;
  Lines include;
  Lines expected;
};

TEST(NewsList, EntriesTimesTemplates) {
  const std::string d = "<!-- NEWS DATE -->", n = "<!-- NEWS NAME -->", h = "<!-- NEWS HREF -->";
  const std::vector<NewsCase> cases = {
      {"empty index", {}, {kNews + d}, {}},
      {"no templates", {"2003.08.15___a___t"}, {"<!-- INCLUDE MENU -->" + d}, {}},
      {"empty template gives one empty line per entry",
       {"2003.08.15___a___t", "2004.01.01___b___u"},
       {kNews},
       {"", ""}},
      {"two templates x two entries, entry-major",
       {"2003.08.15___old___O", "2004.01.01___new___N"},
       {"A" + kNews + "A:" + n, "<!-- INCLUDE X -->", kNews + "B:" + n},
       {"A:N", "B:N", "A:O", "B:O"}},
      {"a placeholder twice, other case and spacing untouched",
       {"2003.08.15___a.htm___T"},
       {kNews + d + "|" + d + "|<!-- news date -->|<!--NEWS DATE-->"},
       {"15.08.2003|15.08.2003|<!-- news date -->|<!--NEWS DATE-->"}},
      {"a value holding a placeholder is not searched again by its own pass",
       {"2003.08.15___[" + h + "]___t"},
       {kNews + h + h},
       {"[" + h + "][" + h + "]"}},
      {"a later pass sees the values of an earlier one",
       {"2003.08.15___p.htm___" + h},
       {kNews + n},
       {"p.htm"}},
      {"page path with ___ is cut, title with ___ stays whole",
       {"2003.08.15___a___b.htm___Fest", "2003.08.16___p.htm___x___y"},
       {kNews + h + "|" + n},
       {"p.htm|x___y", "a|b.htm___Fest"}},
      {"touching separators and an ending one give empty pieces",
       {"2003.08.15______T", "2003.08.16___p___"},
       {kNews + "[" + h + "|" + n + "]"},
       {"[p|]", "[|T]"}},
      {"more than two dots: the day takes the rest",
       {"2003.1.08.15___p___t"},
       {kNews + d},
       {"08.15.1.2003"}},
      {"an entry with fewer than two dots is left out",
       {"2003___x___08.15___p___t", "2004.01.01___q___u"},
       {kNews + h},
       {"q"}},
      {"a second news marker belongs to the template",
       {"2003.08.15___p___t"},
       {"pre" + kNews + kNews + h},
       {kNews + "p"}},
  };
  for (const NewsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NewsLines(Index(c.entries), c.include), c.expected);
  }
}

// Random templates and entries made of placeholders and parts of them, so that values and the
// template's text meet in every way: the lines must be those of the three replacements made one
// after another, each pass leaving the values it inserts alone.
TEST(NewsList, LinesAreTheThreeReplacementsInTurn) {
  const std::vector<std::string> bits = {"<!-- NEWS DATE -->",
                                         "<!-- NEWS NAME -->",
                                         "<!-- NEWS HREF -->",
                                         "<!-- NEWS ",
                                         "NAME -->",
                                         "HREF -->",
                                         "<",
                                         "-->",
                                         "x",
                                         " ",
                                         "<a href='",
                                         "'>",
                                         "<!-- NEWS HREF",
                                         "<!-- NEWS NA",
                                         " -->"};
  const std::vector<std::string> values = {"",    "NAME", "HREF -->",   "<!-- NEWS HREF -->",
                                           "<b>", "a b",  "<!-- NEWS ", " -->"};
  const std::vector<std::string> dates = {"2003.08.15", "2003.08.<!-- NEWS NAME -->", "2003.NAME.1",
                                          "2003.08.ME -->"};
  const auto replace_all = [](const std::string& text, const std::string& what,
                              const std::string& with) {
    std::string out;
    size_t from = 0;
    for (size_t hit; (hit = text.find(what, from)) != std::string::npos; from = hit + what.size()) {
      out += text.substr(from, hit - from) + with;
    }
    return out + text.substr(from);
  };
  std::mt19937 random(27);
  const auto any = [&random](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
  };
  for (int round = 0; round < 3000; ++round) {
    std::string tmpl;
    for (int k = std::uniform_int_distribution<int>(0, 6)(random); k > 0; --k) tmpl += any(bits);
    const std::string date = any(dates), page = any(values), title = any(values) + any(values);
    const std::string d = date.substr(date.rfind('.') + 1) + "." +
                          date.substr(date.find('.') + 1, date.rfind('.') - date.find('.') - 1) +
                          "." + date.substr(0, date.find('.'));
    std::string expected = replace_all(tmpl, "<!-- NEWS DATE -->", d);
    expected = replace_all(expected, "<!-- NEWS NAME -->", title);
    expected = replace_all(expected, "<!-- NEWS HREF -->", page);
    SCOPED_TRACE(tmpl + " | " + date + " | " + page + " | " + title);
    ASSERT_EQ(NewsLines(Index({date + "___" + page + "___" + title}), {kNews + tmpl}),
              Lines{expected});
  }
}

}  // namespace
}  // namespace splicery
