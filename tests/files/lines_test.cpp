#include "files/lines.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

struct SplitCase {
  std::string bytes;
  std::vector<Line> lines;
};

TEST(Lines, SplitKeepsEachTerminatorAndJoinRestoresTheBytes) {
  const std::vector<SplitCase> cases = {
      {"", {}},
      {"a", {{"a", Eol::kNone}}},
      {"a\n", {{"a", Eol::kLf}}},
      {"a\r\nb", {{"a", Eol::kCrLf}, {"b", Eol::kNone}}},
      {"a\rb\n", {{"a\rb", Eol::kLf}}},  // a lone CR is text
      {"a\r", {{"a\r", Eol::kNone}}},
      {"\n\n", {{"", Eol::kLf}, {"", Eol::kLf}}},
      {"\r\n", {{"", Eol::kCrLf}}},
      {"x\ny\r\nz\r\r\n", {{"x", Eol::kLf}, {"y", Eol::kCrLf}, {"z\r", Eol::kCrLf}}},
      {std::string("n\0ul\n", 5), {{std::string("n\0ul", 4), Eol::kLf}}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::vector<Line> lines = SplitLines(c.bytes);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(JoinLines(lines), c.bytes);
    std::vector<std::string> texts;
    for (const Line& line : c.lines) texts.push_back(line.text);
    EXPECT_EQ(SplitTexts(c.bytes), texts);
  }
}

TEST(Lines, JoinNeverGluesAnUnterminatedLineToTheNext) {
  EXPECT_EQ(JoinLines({{"a", Eol::kNone}, {"b", Eol::kCrLf}, {"c", Eol::kNone}}), "a\nb\r\nc");
}

TEST(Lines, StripBomOnlyAtTheVeryStart) {
  EXPECT_EQ(StripBom("\xEF\xBB\xBF" "a.htm\n"), "a.htm\n");
  EXPECT_EQ(StripBom("\xEF\xBB\xBF"), "");
  EXPECT_EQ(StripBom("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
  EXPECT_EQ(StripBom("\xEF\xBB"), "\xEF\xBB");
}

}  // namespace
}  // namespace splicery
