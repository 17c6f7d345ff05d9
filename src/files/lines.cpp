// Line splitting and joining with each line's own terminator.
#include "files/lines.h"

namespace splicery {
namespace {

template <typename Sink>
void ForEachLine(std::string_view bytes, Sink sink) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      sink(bytes.substr(start), Eol::kNone);
      return;
    }
    if (lf > start && bytes[lf - 1] == '\r') {
      sink(bytes.substr(start, lf - 1 - start), Eol::kCrLf);
    } else {
      sink(bytes.substr(start, lf - start), Eol::kLf);
    }
    start = lf + 1;
  }
}

}  // namespace

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  ForEachLine(bytes, [&](std::string_view text, Eol eol) {
    lines.push_back(Line{std::string(text), eol});
  });
  return lines;
}

std::vector<std::string> SplitTexts(std::string_view bytes) {
  std::vector<std::string> texts;
  ForEachLine(bytes, [&](std::string_view text, Eol) { texts.emplace_back(text); });
  return texts;
}

std::string_view EolBytes(Eol eol) {
  switch (eol) {
    case Eol::kLf:
      return "\n";
    case Eol::kCrLf:
      return "\r\n";
    case Eol::kNone:
      break;
  }
  return "";
}

std::string JoinLines(const std::vector<Line>& lines) {
  size_t size = 0;
  for (const Line& line : lines) size += line.text.size() + 2;
  std::string bytes;
  bytes.reserve(size);
  for (size_t i = 0; i < lines.size(); ++i) {
    bytes += lines[i].text;
    Eol eol = lines[i].eol;
    if (eol == Eol::kNone && i + 1 < lines.size()) eol = Eol::kLf;
    bytes += EolBytes(eol);
  }
  return bytes;
}

std::string_view StripBom(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
  return bytes;
}

}  // namespace splicery
