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

}  // namespace
}  // namespace splicery
