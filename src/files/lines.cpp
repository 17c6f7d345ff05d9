// Line splitting without copies, and the byte-backed line list.
#include "files/lines.h"

#include "files/big_buffer.h"

namespace splicery {

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

LineView LineCursor::Next() {
  const size_t start = pos_;
  const size_t lf = bytes_.find('\n', start);
  if (lf == std::string_view::npos) {
    pos_ = bytes_.size();
    return {bytes_.substr(start), Eol::kNone};
  }
  pos_ = lf + 1;
  if (lf > start && bytes_[lf - 1] == '\r') return {bytes_.substr(start, lf - 1 - start), Eol::kCrLf};
  return {bytes_.substr(start, lf - start), Eol::kLf};
}

void LineCursor::SkipToLineOf(size_t offset) {
  if (offset <= pos_) return;
  const size_t lf = bytes_.rfind('\n', offset - 1);
  if (lf != std::string_view::npos && lf + 1 > pos_) pos_ = lf + 1;
}

LineView LineAround(std::string_view bytes, size_t offset, size_t* next) {
  LineCursor cursor(bytes);
  cursor.SkipToLineOf(offset);
  const LineView line = cursor.Next();
  *next = cursor.position();
  return line;
}

std::vector<std::string> SplitTexts(std::string_view bytes) {
  std::vector<std::string> texts;
  for (LineCursor cursor(bytes); !cursor.AtEnd();) texts.emplace_back(cursor.Next().text);
  return texts;
}

void LineBuffer::Append(std::string_view text, Eol eol) {
  // Terminate the open line so that it reads back as the same text: a CR it ends with would
  // otherwise become part of a CRLF.
  if (open_) bytes_ += bytes_.ends_with('\r') ? "\r\n" : "\n";
  const size_t begin = bytes_.size();
  bytes_.append(text);
  lines_.push_back({begin, bytes_.size()});
  bytes_.append(EolBytes(eol));
  open_ = eol == Eol::kNone;
}

void LineBuffer::Reserve(size_t bytes, size_t lines) {
  ReserveBytes(bytes_, bytes);
  if (lines > lines_.capacity()) {
    lines_.reserve(lines);
    AdviseHugePages(lines_.data() + lines_.size(), lines_.data() + lines_.capacity());
  }
}

void LineBuffer::Clear() {
  bytes_.clear();
  lines_.clear();
  open_ = false;
}

std::string_view LineBuffer::operator[](size_t index) const {
  const Span& span = lines_[index];
  return std::string_view(bytes_).substr(span.begin, span.end - span.begin);
}

std::string_view StripBom(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
  return bytes;
}

}  // namespace splicery
