// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/news_entry.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

// A stand line's date, page and title become an entry and come back out of it. Rows marked
// `lossy` are asymmetries the entry text has on purpose, not faults.
TEST(NewsEntry, BuildAndSplitRoundTrip) {
  struct Case {
    std::string date, page, title;
    std::optional<std::string> entry;
    std::string out_date, out_page, out_title;  // what splitting the entry gives back
    bool asymmetry;  // expected: the out columns differ from what went in
  };
  const std::vector<Case> cases = {
      {"15.08.2003", "news.htm", "Sommerfest", "2003.08.15___news.htm___Sommerfest", "15.08.2003",
       "news.htm", "Sommerfest", false},
      {"1.2.3", "p", "", "3.2.1___p___", "1.2.3", "p", "", false},
      {"..", "", "t", "..______t", "..", "", "t", false},
      {"01.02.2003", "sub/a.htm", "A ___ B", "2003.02.01___sub/a.htm___A ___ B", "01.02.2003",
       "sub/a.htm", "A ___ B", false},
      {"15.08", "p", "t", std::nullopt, "", "", "", false},
      {"15082003", "p", "t", std::nullopt, "", "", "", false},
      // Split at the first two separators: the page's own "___" moves into the title.
      {"01.02.2003", "a___b.htm", "T", "2003.02.01___a___b.htm___T", "01.02.2003", "a", "b.htm___T",
       true},
      // Both halves swap around the first two dots only, so more dots do not come back.
      {"1.2.3.4", "p", "t", "3.4.2.1___p___t", "2.1.4.3", "p", "t", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date + " | " + c.page + " | " + c.title);
    const std::optional<std::string> entry = MakeNewsEntry(c.date, c.page, c.title);
    ASSERT_EQ(entry, c.entry);
    if (!entry) continue;
    const std::optional<NewsPieces> pieces = SplitNewsEntry(*entry);
    ASSERT_TRUE(pieces);
    EXPECT_EQ(pieces->display_date, c.out_date);
    EXPECT_EQ(pieces->page, c.out_page);
    EXPECT_EQ(pieces->title, c.out_title);
    const bool same = c.out_date == c.date && c.out_page == c.page && c.out_title == c.title;
    EXPECT_EQ(!same, c.asymmetry);
  }
}

}  // namespace
}  // namespace splicery
