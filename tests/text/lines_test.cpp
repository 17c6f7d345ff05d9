// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/lines.h"

#include <gtest/gtest.h>

#include "text/block_walker.h"

namespace splicery {
namespace {

std::vector<LineView> SplitLines(std::string_view bytes) {
  std::vector<LineView> lines;
  for (LineCursor cursor(bytes); !cursor.AtEnd();) lines.push_back(cursor.Next());
  return lines;
}

// CountLines between any two line starts agrees with the cursor (a last line without
// terminator ends none).
void ExpectCountsAgree(std::string_view bytes) {
  std::vector<size_t> starts = {0};
  for (LineCursor cursor(bytes); !cursor.AtEnd();) {
    if (cursor.Next().eol != Eol::kNone) starts.push_back(cursor.position());
  }
  const size_t step = starts.size() > 40 ? 37 : 1;  // long inputs: a sample of the pairs
  for (size_t i = 0; i < starts.size(); i += step) {
    for (size_t j = i; j < starts.size(); j += step) {
      EXPECT_EQ(CountLines(bytes, starts[i], starts[j]), j - i) << i << ".." << j;
    }
  }
}

struct SplitCase {
  std::string bytes;
  std::vector<LineView> lines;
};

TEST(Lines, SplitKeepsEachTerminatorAndTheBufferRestoresTheBytes) {
  const std::string xs(300, 'x'), ys(5000, 'y');  // lines longer than one search step
  const std::vector<SplitCase> cases = {
      {"", {}},
      {"a", {{"a", Eol::kNone}}},
      {"a\n", {{"a", Eol::kLf}}},
      {"a\r\nb", {{"a", Eol::kCrLf}, {"b", Eol::kNone}}},
      {"a\rb\n", {{"a", Eol::kCr}, {"b", Eol::kLf}}},  // a lone CR ends a line
      {"a\r", {{"a", Eol::kCr}}},
      {"\n\n", {{"", Eol::kLf}, {"", Eol::kLf}}},
      {"\r\n", {{"", Eol::kCrLf}}},
      {"x\ny\r\nz\r\r\n", {{"x", Eol::kLf}, {"y", Eol::kCrLf}, {"z", Eol::kCr}, {"", Eol::kCrLf}}},
      {"\r\r\n\r", {{"", Eol::kCr}, {"", Eol::kCrLf}, {"", Eol::kCr}}},
      {"a\n\rb", {{"a", Eol::kLf}, {"", Eol::kCr}, {"b", Eol::kNone}}},
      {xs + "\r" + ys + "\n", {{xs, Eol::kCr}, {ys, Eol::kLf}}},
      {ys + "\r\n" + xs, {{ys, Eol::kCrLf}, {xs, Eol::kNone}}},
      {std::string("n\0ul\n", 5), {{std::string_view("n\0ul", 4), Eol::kLf}}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::vector<LineView> lines = SplitLines(c.bytes);
    EXPECT_EQ(lines, c.lines);
    LineBuffer buffer;
    for (const LineView& line : lines) buffer.Append(line);
    EXPECT_EQ(buffer.bytes(), c.bytes);
    ASSERT_EQ(buffer.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(buffer[i], lines[i].text);
    std::vector<std::string> texts;
    for (const LineView& line : c.lines) texts.emplace_back(line.text);
    EXPECT_EQ(SplitTexts(c.bytes), texts);
    ExpectCountsAgree(c.bytes);
  }
  // Counted eight bytes at a time: terminators across word borders, and more than 255 in
  // each byte lane.
  std::string mixed;
  for (int i = 0; i < 700; ++i) mixed += i % 3 ? "ab\r\ncd\ref\n" : "\r\r\n";
  for (const std::string& bytes :
       {std::string(5000, '\n'), std::string(5000, '\r'), mixed, "x" + mixed + "\r"}) {
    ExpectCountsAgree(bytes);
  }
}

TEST(Lines, BufferNeverGluesTwoLinesIntoOne) {
  LineBuffer buffer;
  buffer.Append("a", Eol::kNone);
  buffer.Append("b", Eol::kCrLf);
  buffer.Append("c", Eol::kNone);
  buffer.Append("d", Eol::kCr);
  buffer.Append("", Eol::kLf);  // CR LF would read as one terminator
  buffer.Append("f", Eol::kCr);
  buffer.Append("", Eol::kNone);
  buffer.Append("g", Eol::kLf);
  EXPECT_EQ(buffer.bytes(), "a\nb\r\nc\nd\r\r\nf\r\r\ng\n");
  // Read back, by index in any order or by the cursor, every line is the text appended.
  const std::vector<std::string_view> appended = {"a", "b", "c", "d", "", "f", "", "g"};
  ASSERT_EQ(buffer.size(), appended.size());
  for (size_t i : {0, 5, 2, 3, 7, 7, 1}) EXPECT_EQ(buffer[i], appended[i]) << i;
  std::vector<std::string_view> texts;
  for (const LineView& line : SplitLines(buffer.bytes())) texts.push_back(line.text);
  EXPECT_EQ(texts, appended);
  buffer.Clear();
  buffer.Append("d", Eol::kLf);
  EXPECT_EQ(buffer.bytes(), "d\n");
  EXPECT_EQ(buffer.size(), 1u);
}

// A whole buffer appended at once gives what its lines appended one by one give, whether it
// is copied as it is (LF lines onto a closed line) or line by line (any other case).
TEST(Lines, BufferAppendedWholeAsLineByLine) {
  using Appends = std::vector<LineView>;
  const Appends lf = {{"a", Eol::kLf}, {"", Eol::kLf}, {"c", Eol::kLf}};
  const struct {
    const char* name;
    Appends before, lines;
    Eol eol;
  } cases[] = {
      {"LF lines onto an empty buffer", {}, lf, Eol::kLf},
      {"LF lines after a closed line", {{"x", Eol::kCrLf}}, lf, Eol::kLf},
      {"after an open line", {{"x", Eol::kNone}}, lf, Eol::kLf},
      {"after a lone CR", {{"x", Eol::kCr}}, {{"", Eol::kLf}, {"b", Eol::kLf}}, Eol::kLf},
      {"into CRLF", {{"x", Eol::kLf}}, lf, Eol::kCrLf},
      {"lines of mixed ends", {}, {{"a", Eol::kCr}, {"", Eol::kCrLf}, {"c", Eol::kNone}}, Eol::kLf},
      {"last line open", {}, {{"a", Eol::kLf}, {"b", Eol::kNone}}, Eol::kLf},
      {"no lines", {{"x", Eol::kNone}}, {}, Eol::kLf},
  };
  for (const auto& c : cases) {
    LineBuffer lines, whole, one_by_one;
    for (const LineView& line : c.lines) lines.Append(line);
    for (const LineView& line : c.before) whole.Append(line), one_by_one.Append(line);
    whole.Append(lines, c.eol);
    for (const LineView& line : SplitLines(lines.bytes())) one_by_one.Append(line.text, c.eol);
    EXPECT_EQ(whole.bytes(), one_by_one.bytes()) << c.name;
    EXPECT_EQ(whole.size(), one_by_one.size()) << c.name;
    whole.Append("z", Eol::kLf);  // what follows is told apart as before
    one_by_one.Append("z", Eol::kLf);
    EXPECT_EQ(whole.bytes(), one_by_one.bytes()) << c.name;
    one_by_one.Append(one_by_one, Eol::kCrLf);  // onto itself, line by line
    whole.Append(whole, Eol::kLf);              // onto itself, whole where its lines end in LF
    for (const LineBuffer* b : {&whole, &one_by_one}) {
      EXPECT_EQ(b->size(), 2 * (c.before.size() + c.lines.size() + 1)) << c.name;
    }
  }
}

TEST(Lines, LineAroundAnOffset) {
  const std::string bytes = "ab\r\ncd\nef\rg";
  const std::vector<std::tuple<size_t, LineView, size_t>> cases = {
      {0, {"ab", Eol::kCrLf}, 4}, {1, {"ab", Eol::kCrLf}, 4},  {3, {"ab", Eol::kCrLf}, 4},
      {4, {"cd", Eol::kLf}, 7},   {5, {"cd", Eol::kLf}, 7},    {7, {"ef", Eol::kCr}, 10},
      {9, {"ef", Eol::kCr}, 10},  {10, {"g", Eol::kNone}, 11},
  };
  for (const auto& [offset, line, next] : cases) {
    SCOPED_TRACE(offset);
    size_t got_next = 0;
    EXPECT_EQ(LineAround(bytes, offset, &got_next), line);
    EXPECT_EQ(got_next, next);
  }
}

TEST(Lines, StripBomOnlyAtTheVeryStart) {
  EXPECT_EQ(StripBom("\xEF\xBB\xBF"
                     "a.htm\n"),
            "a.htm\n");
  EXPECT_EQ(StripBom("\xEF\xBB\xBF"), "");
  EXPECT_EQ(StripBom("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
  EXPECT_EQ(StripBom("\xEF\xBB"), "\xEF\xBB");
}

}  // namespace
}  // namespace splicery
