// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/news_scan.h"

#include <gtest/gtest.h>

#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::TempSite;

struct ParseCase {
  std::string line;
  std::optional<std::string> entry;
};

TEST(NewsScan, ParsesStandLinesPositionByPosition) {
  const std::string m = "<!-- STAND START -->";
  const std::vector<ParseCase> cases = {
      // The two worked examples: the blank before "-->" belongs to the title.
      {"<p>Stand: " + m + "15.08.2003<!-- Sommerfest --></p>",
       "2003.08.15___news.htm___Sommerfest "},
      {m + " 15.08.2003 <!--Sommerfest-->", "2003.08.15___news.htm___Sommerfest"},
      {m + "00.00.0000<!-- leer -->", std::nullopt},
      {m + "0.0.0000<!--x-->", "0000.0.0___news.htm___x"},
      {m + "1.8.03<!--x-->", "03.8.1___news.htm___x"},              // no zero-filling
      {m + "15.08.2003.1<!--x-->", "2003.1.08.15___news.htm___x"},  // dots stay in the year
      {m + "\t15.08.2003<!--x-->", "2003.08.\t15___news.htm___x"},  // a tab is no blank
      {m + "15.08.2003<!---->", "2003.08.15___news.htm___"},        // empty title
      {m + "15.08.2003 Neu -->", "2003.08.15___news.htm___Neu "},   // no opening
      {m + "<!-- 15.08.2003 --> <!-- Fest -->", "2003.08.15___news.htm___"},
      {m + "15.08.<!--x-->", ".08.15___news.htm___x"},              // empty year
      {m + "<xyz15.08.2003<!--x-->", "2003.08.15___news.htm___x"},  // "<" skips four
      {m + "<15.08.2003<!--x-->", std::nullopt},                    // ... so the token is 08.2003
      {"x" + m + "01.01.2001<!--a-->" + m + "02.02.2002<!--b-->", "2001.01.01___news.htm___a"},
      {"<!-- stand start -->15.08.2003<!--x-->", std::nullopt},
      {"<!--STAND START-->15.08.2003<!--x-->", std::nullopt},
      // Incomplete lines give no entry and never read past the end.
      {m, std::nullopt},
      {m + "   ", std::nullopt},
      {m + "<!--", std::nullopt},
      {m + "15.08.2003", std::nullopt},
      {m + "15.08.2003 ", std::nullopt},
      {m + "15.08.2003<!--no end", std::nullopt},
      {m + "15082003<!--x-->", std::nullopt},
      {m + "15.082003<!--x-->", std::nullopt},
      {m + "15.08.2003<!", std::nullopt},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseStandLine(c.line, "news.htm"), c.entry);
  }
}

TEST(NewsScan, ALongLineWorks) {
  std::string line = std::string(100000, 'x') + "<!-- STAND START -->01.02.2003 <!--" +
                     std::string(50000, 't') + "-->";
  EXPECT_EQ(ParseStandLine(line, "p"), "2003.02.01___p___" + std::string(50000, 't'));
}

TEST(NewsScan, ScansEveryPageIntoTheSortedIndex) {
  TempSite site({
      {"b.htm",
       "<!-- STAND START -->01.09.2003<!--B1-->\r\nx\n<!-- STAND START -->15.08.2003<!--B2-->"},
      {"a.htm", "<p><!-- STAND START -->02.01.2004<!--A--></p>\n"},
      {"empty.htm", ""},
  });
  PosixFileSystem fs;
  Form form;
  form.List1 = {"b.htm", "a.htm", "empty.htm", "a.htm"};
  std::vector<std::string> shown;
  form.SetListener([&](LabelId id, std::string_view text, TextKind) {
    if (id == LabelId::kLabel3) shown.emplace_back(text);
  });
  EXPECT_TRUE(ScanNews(form, fs));
  EXPECT_EQ(form.List5.items(),
            (std::vector<std::string>{
                "2003.08.15___b.htm___B2", "2003.09.01___b.htm___B1", "2004.01.02___a.htm___A",
                "2004.01.02___a.htm___A",  // a page listed twice counts twice
            }));
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "Datei b.htm wird bearbeitet", "Datei a.htm wird bearbeitet",
                       "Datei empty.htm wird bearbeitet", "Datei a.htm wird bearbeitet"}));
}

TEST(NewsScan, APageThatCannotBeReadEndsTheScan) {
  TempSite site({{"a.htm", "<!-- STAND START -->01.01.2001<!--A-->"},
                 {"c.htm", "<!-- STAND START -->03.03.2003<!--C-->"}});
  ::mkdir("folder.htm", 0755);
  PosixFileSystem real;
  for (const std::string failing : {"", "missing.htm", "folder.htm"}) {
    SCOPED_TRACE(failing);
    Form form;
    form.List1 = {"a.htm", failing, "c.htm"};
    EXPECT_FALSE(ScanNews(form, real));
    EXPECT_EQ(form.Label3(), "FEHLER beim Lesen von " + failing);
    EXPECT_EQ(form.List5.items(), std::vector<std::string>{"2001.01.01___a.htm___A"});
  }
  // A read that fails although the page exists is reported the same way.
  testing::FaultFileSystem faulty(real);
  faulty.FailCall(testing::Op::kReadFile, 1);
  Form form;
  form.List1 = {"a.htm", "c.htm", "a.htm"};
  EXPECT_FALSE(ScanNews(form, faulty));
  EXPECT_EQ(form.Label3(), "FEHLER beim Lesen von c.htm");
  EXPECT_EQ(faulty.Calls(testing::Op::kReadFile), 2u);
}

// Every read of the start-up scan, failed in turn: the scan stops with the message for that
// file, keeps what it loaded before, writes nothing, and Start stays possible.
TEST(NewsScan, EveryFailingReadOfTheStartUpScanStopsIt) {
  TempSite site({{"include.txt", "a.htm\nb.htm\n"},
                 {"include.htm", "<!-- INCLUDE MENU -->m\n"},
                 {"a.htm", "<!-- STAND START -->01.01.2001<!--A-->"},
                 {"b.htm", "<!-- STAND START -->02.02.2002<!--B-->"}});
  const std::vector<std::string> messages = {
      "FEHLER beim Lesen von INCLUDE.TXT", "FEHLER beim Lesen von INCLUDE.HTM",
      "FEHLER beim Lesen von SPLICERY.INI", "FEHLER beim Lesen von a.htm",
      "FEHLER beim Lesen von b.htm"};
  const std::vector<size_t> list1 = {0, 2, 2, 2, 2}, list2 = {0, 0, 1, 1, 1},
                            list5 = {0, 0, 0, 0, 1};
  PosixFileSystem real;
  for (size_t nth = 0; nth < messages.size(); ++nth) {
    SCOPED_TRACE(nth);
    testing::FaultFileSystem fs(real);
    fs.FailCall(testing::Op::kReadFile, nth);
    Form form;
    EXPECT_FALSE(RunStartupScan(form, fs).ok());
    EXPECT_EQ(form.Label3(), messages[nth]);
    EXPECT_EQ(form.List1.size(), list1[nth]);
    EXPECT_EQ(form.List2.size(), list2[nth]);
    EXPECT_EQ(form.List5.size(), list5[nth]);
    EXPECT_TRUE(form.Command1Enabled);
    EXPECT_EQ(fs.log().size(), nth + 1);  // nothing after the failing read, nothing written
  }
}

}  // namespace
}  // namespace splicery
