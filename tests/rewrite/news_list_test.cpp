// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/news_list.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace splicery
