// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/config_loader.h"

#include <gtest/gtest.h>

#include "files/posix_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::TempSite;

struct ConfigCase {
  const char* name;
  Files files;
  bool ok;
  std::vector<std::string> list1;
  std::vector<std::string> list2;
  std::string label3;
  std::string label4;
};

TEST(ConfigLoader, LoadsBothFilesOrReportsTheOneThatFailed) {
  const std::string menu = "<!-- INCLUDE MENU --><a href='a.htm'>A</a>";
  const std::vector<ConfigCase> cases = {
      {"empty lines and blanks are page paths",
       {{"include.txt", "a.htm\n\n b.htm \n"}, {"include.htm", ""}},
       true,
       {"a.htm", "", " b.htm "},
       {},
       " 3 Dateien werden bearbeitet",
       " 0 Include-Zeilen in INCLUDE.HTM gefunden"},
      {"CRLF files and a last line without terminator",
       {{"include.txt", "a.htm\r\nb.htm"}, {"include.htm", menu + "\r\n<p>x</p>\r\n" + menu}},
       true,
       {"a.htm", "b.htm"},
       {menu, menu},
       " 2 Dateien werden bearbeitet",
       " 2 Include-Zeilen in INCLUDE.HTM gefunden"},
      {"byte-order mark is not part of the first path",
       {{"include.txt",
         "\xEF\xBB\xBF"
         "a.htm\n"},
        {"include.htm", "\xEF\xBB\xBF" + menu}},
       true,
       {"a.htm"},
       {"\xEF\xBB\xBF" + menu},
       " 1 Dateien werden bearbeitet",
       " 1 Include-Zeilen in INCLUDE.HTM gefunden"},
      {"only a byte-order mark",
       {{"include.txt", "\xEF\xBB\xBF"}, {"include.htm", "x"}},
       true,
       {},
       {},
       " 0 Dateien werden bearbeitet",
       " 0 Include-Zeilen in INCLUDE.HTM gefunden"},
      {"markers in other case or spacing are dropped, text around the marker is kept",
       {{"include.txt", ""},
        {"include.htm",
         "<!-- include x -->a\n<!--INCLUDE x-->b\n  pre <!-- INCLUDEx post\n"
         "<!-- INCLUDE START -->\n"}},
       true,
       {},
       {"  pre <!-- INCLUDEx post", "<!-- INCLUDE START -->"},
       " 0 Dateien werden bearbeitet",
       " 2 Include-Zeilen in INCLUDE.HTM gefunden"},
      {"include.txt missing",
       {{"include.htm", menu}},
       false,
       {},
       {},
       "FEHLER beim Lesen von INCLUDE.TXT",
       ""},
      {"include.htm missing",
       {{"include.txt", "a.htm\nb.htm"}},
       false,
       {"a.htm", "b.htm"},
       {},
       "FEHLER beim Lesen von INCLUDE.HTM",
       ""},
      {"include.txt is a folder",
       {{"include.txt/x", ""}, {"include.htm", menu}},
       false,
       {},
       {},
       "FEHLER beim Lesen von INCLUDE.TXT",
       ""},
  };
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site(c.files);
    PosixFileSystem fs;
    Form form;
    EXPECT_EQ(LoadConfiguration(form, fs).ok(), c.ok);
    EXPECT_EQ(form.List1, c.list1);
    EXPECT_EQ(form.List2, c.list2);
    EXPECT_EQ(form.Label3(), c.label3);
    EXPECT_EQ(form.Label4(), c.label4);
    EXPECT_EQ(form.List5.size(), 0u);
  }
}

}  // namespace
}  // namespace splicery
