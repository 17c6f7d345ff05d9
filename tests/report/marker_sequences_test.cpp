// SPDX-License-Identifier: GPL-3.0-or-later
// One table of awkward marker sequences, read by every client of the block walker: the marker
// check, the rewrite, the journal's block parts and the lint. Each keeps its own rule; the rows
// pin where those rules differ.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/sorted_list.h"
#include "files/posix_file_system.h"
#include "report/site_lint.h"
#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

const std::string S = "<!-- INCLUDE START -->", E = "<!-- INCLUDE END -->",
                  K = "<!-- INCLUDE K -->";

struct Row {
  const char* name;
  std::string page;
  size_t open_line;  // the marker check: 0 when the markers pair up
  std::string rewritten;
  std::vector<std::string> parts;  // what the journal hashes per block
  std::vector<std::string> lint;   // "LINE:SEVERITY" of the page's findings
};

TEST(MarkerSequences, EveryClientKeepsItsOwnRule) {
  const std::vector<Row> rows = {
      {"END,START,END",
       E + "\n" + S + "\n" + K + "\nx\n" + E + "\n",
       0,
       E + "\n" + S + "\n" + K + "\ngen\n" + E + "\n",
       {"x\n"},
       {"1:Warnung"}},
      {"START,START,END",
       S + "\n" + S + "\n" + K + "\nx\n" + E + "\n",
       0,
       S + "\n" + S + "\n" + K + "\ngen\n" + E + "\n",
       {"x\n"},
       {"2:Warnung"}},
      {"END,START",
       E + "\n" + S + "\n" + K + "\n",
       2,
       E + "\n" + S + "\n" + K + "\ngen\n",
       {},
       {"1:Warnung", "2:Fehler"}},
      {"START and END on one line, outside",
       "a\n" + S + E + "\nb\n",
       0,
       "a\n" + S + E + "\nb\n",
       {},
       {"1:Hinweis"}},
      {"START and END on one line, inside",
       S + "\n" + K + "\nx\n" + S + E + "\ny\n",
       0,
       S + "\n" + K + "\ngen\n" + S + E + "\ny\n",
       {"x\n"},
       {}},
      {"START as the last line", "a\n" + S, 2, "a\n" + S, {}, {"2:Fehler"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(OpenStartLine(row.page), row.open_line);

    const std::vector<std::string> include_lines = {K + "gen"};
    SortedList no_news;
    BlockRewriter blocks(include_lines, no_news);
    LineBuffer out;
    std::vector<std::string> keys;
    RewritePage(row.page, blocks, out, keys);
    EXPECT_EQ(out.bytes(), row.rewritten);
    EXPECT_EQ(GeneratedParts(row.page), row.parts);

    testing::TempSite site(
        {{"include.txt", "p.htm\n"}, {"include.htm", K + "gen\n"}, {"p.htm", row.page}});
    PosixFileSystem fs;
    std::vector<std::string> lint;
    for (const Finding& f : LintSite(fs)) {
      if (f.file != "p.htm") continue;
      const char* severity[] = {"Fehler", "Warnung", "Hinweis"};
      lint.push_back(std::to_string(f.line) + ":" + severity[static_cast<int>(f.severity)]);
    }
    EXPECT_EQ(lint, row.lint);
  }
}

}  // namespace
}  // namespace splicery
