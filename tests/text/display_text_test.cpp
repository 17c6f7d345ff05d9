// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/display_text.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

TEST(DisplayText, Utf8ValidityDecidesBetweenUtf8AndLatin1) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", true},
      {"plain ascii", true},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       true},                      // Grüße
      {"\xE2\x82\xAC", true},      // euro sign
      {"\xF0\x9F\x98\x80", true},  // four bytes
      {"Stra\xDF"
       "e",
       false},                      // Latin-1 sharp s
      {"\xC3", false},              // cut short
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong, three bytes
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xE2\x82", false},
      {"\x80", false},
      {std::string("nul\0byte", 8), true},
  };
  for (const auto& [bytes, valid] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(IsValidUtf8(bytes), valid);
  }
}

// Each text in its own file's encoding where that is known and the bytes fit it; else UTF-8
// where valid and windows-1252 for every other byte, never ISO-8859-1.
TEST(DisplayText, DecodesByTheFilesEncodingElseUtf8ElseWindows1252) {
  const struct {
    std::string bytes;
    std::string_view encoding;
    std::string shown;
  } cases[] = {
      {"Gr\xFC\xDF"
       "e",
       "windows-1252", "Grüße"},
      {"\x84x\x93 \x80", "", "„x“ €"},  // undeclared: windows-1252
      {"\xE1\xE2", "ISO-8859-7", "αβ"},
      {"\xE1\xE2", "", "áâ"},
      {"\xA4\xA2", "EUC-JP", "\xE3\x81\x82"},              // あ
      {"\xA4\xA2\xA4", "EUC-JP", "\xE3\x81\x82\xC2\xA4"},  // cut inside a character
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "UTF-8", "Grüße"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "windows-1252", "GrÃ¼ÃŸe"},  // mojibake stays visible
      // The program's UTF-8 text around a file name in windows-1252.
      {"Datei M\xFCller.htm wird gepr\xC3\xBC"
       "ft",
       "", "Datei Müller.htm wird geprüft"},
      {std::string("\xFF\xFE"
                   "a\0",
                   4),
       "UTF-16LE", std::string("ÿþa\0", 6)},  // never decoded as UTF-16
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(DisplayUtf8(c.bytes, c.encoding), c.shown);
  }
  SourceEncodings sources;
  sources.pages.emplace("g.htm", DetectPageEncoding("<meta charset=iso-8859-7>"));
  EXPECT_EQ(DisplayNewsEntry("2001.01.01___g.htm___\xE1\xE2", sources), "2001.01.01___g.htm___αβ");
  EXPECT_EQ(DisplayNewsEntry("2001.01.01___M\xFC.htm___\xE1", sources), "2001.01.01___Mü.htm___á");
}

}  // namespace
}  // namespace splicery
