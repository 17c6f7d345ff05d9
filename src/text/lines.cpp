// SPDX-License-Identifier: GPL-3.0-or-later
// Line splitting without copies, and the byte-backed line list.
#include "text/lines.h"

#include <string.h>

#include <algorithm>

#include "files/big_buffer.h"

namespace splicery {
namespace {

constexpr size_t npos = std::string_view::npos;

// The first CR or LF at or after `from`, or npos. Searched in growing windows, so finding the
// end of a short line never runs through the rest of the page looking for the other byte (a
// CR-only page holds no LF at all).
size_t FindTerminator(std::string_view bytes, size_t from) {
  const char* data = bytes.data();
  for (size_t window = 256; from < bytes.size(); window *= 2) {
    const size_t end = std::min(bytes.size(), from + window);
    const void* lf = ::memchr(data + from, '\n', end - from);
    const size_t lf_at = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : end;
    if (const void* cr = ::memchr(data + from, '\r', lf_at - from)) {
      return static_cast<size_t>(static_cast<const char*>(cr) - data);
    }
    if (lf) return lf_at;
    from = end;
  }
  return npos;
}

}  // namespace

std::string_view EolBytes(Eol eol) {
  switch (eol) {
    case Eol::kLf:
      return "\n";
    case Eol::kCrLf:
      return "\r\n";
    case Eol::kCr:
      return "\r";
    case Eol::kNone:
      break;
  }
  return "";
}

LineView LineCursor::Next() {
  const size_t start = pos_;
  const size_t end = FindTerminator(bytes_, start);
  if (end == npos) {
    pos_ = bytes_.size();
    return {bytes_.substr(start), Eol::kNone};
  }
  const std::string_view text = bytes_.substr(start, end - start);
  if (bytes_[end] == '\n') {
    pos_ = end + 1;
    return {text, Eol::kLf};
  }
  if (end + 1 < bytes_.size() && bytes_[end + 1] == '\n') {
    pos_ = end + 2;
    return {text, Eol::kCrLf};
  }
  pos_ = end + 1;
  return {text, Eol::kCr};
}

void LineCursor::SkipToLineOf(size_t offset) {
  if (offset <= pos_) return;
  // The LF of a CRLF belongs to the line that the CR ends.
  if (offset < bytes_.size() && bytes_[offset] == '\n' && bytes_[offset - 1] == '\r') --offset;
  const size_t end = bytes_.find_last_of("\r\n", offset - 1);
  if (end != npos && end + 1 > pos_) pos_ = end + 1;
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
  // An open line ends in CR only when it is empty after a lone CR; see the header.
  if (open_) bytes_ += bytes_.ends_with('\r') ? "\r\n" : "\n";
  if (text.empty() && eol == Eol::kLf && bytes_.ends_with('\r')) eol = Eol::kCrLf;
  bytes_.append(text);
  bytes_.append(EolBytes(eol));
  ++count_;
  open_ = eol == Eol::kNone;
  lf_only_ = lf_only_ && eol == Eol::kLf;
}

void LineBuffer::Append(const LineBuffer& lines, Eol eol) {
  if (eol != Eol::kLf || !lines.lf_only_ || open_ || bytes_.ends_with('\r')) {
    // Onto itself, the lines are read from a copy: these bytes grow as they are read.
    const std::string own = &lines == this ? bytes_ : std::string();
    for (LineCursor cursor(&lines == this ? own : lines.bytes_); !cursor.AtEnd();) {
      Append(cursor.Next().text, eol);
    }
    return;
  }
  bytes_.append(lines.bytes_);  // std::string appends itself soundly
  count_ += lines.count_;
}

void LineBuffer::Reserve(size_t bytes) { ReserveBytes(bytes_, bytes); }

void LineBuffer::Clear() {
  bytes_.clear();
  count_ = 0;
  open_ = false;
  lf_only_ = true;
  read_index_ = read_pos_ = 0;
}

std::string_view LineBuffer::operator[](size_t index) const {
  if (index < read_index_) read_index_ = read_pos_ = 0;
  LineCursor cursor(bytes_);
  cursor.SkipToLineOf(read_pos_);
  for (; read_index_ < index; ++read_index_) cursor.Next();
  const std::string_view text = cursor.Next().text;
  read_index_ = index + 1;
  read_pos_ = cursor.position();
  return text;
}

std::string_view StripBom(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
  return bytes;
}

}  // namespace splicery
