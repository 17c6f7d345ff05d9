// Text files as lines of bytes. A line ends at LF; a CR right before that LF belongs to the
// terminator. A lone CR is text. The final line may lack a terminator. Splitting and joining
// are exact inverses, so an unchanged page is written back byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace splicery {

enum class Eol : unsigned char { kNone, kLf, kCrLf };

struct Line {
  std::string text;  // without terminator
  Eol eol = Eol::kLf;

  bool operator==(const Line&) const = default;
};

// Splits bytes into lines; zero bytes give no lines.
std::vector<Line> SplitLines(std::string_view bytes);

// Splits into the texts only (configuration files, where terminators do not matter).
std::vector<std::string> SplitTexts(std::string_view bytes);

// Joins lines back into bytes. A line without terminator that is not the last one gets LF,
// so that two lines are never glued into one.
std::string JoinLines(const std::vector<Line>& lines);

std::string_view EolBytes(Eol eol);

// A UTF-8 byte-order mark at the very start, if any, removed.
std::string_view StripBom(std::string_view bytes);

}  // namespace splicery
