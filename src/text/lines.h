// SPDX-License-Identifier: GPL-3.0-or-later
// Text files as lines of bytes. A line ends at LF, at CRLF, or at a lone CR (old Mac editors),
// so a line's text never holds CR or LF. The final line may lack a terminator. Reading lines
// and appending them again gives back the same bytes, so an unchanged page is written back byte
// for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace splicery {

enum class Eol : unsigned char { kNone, kLf, kCrLf, kCr };

std::string_view EolBytes(Eol eol);

// One line as a view into bytes that someone else owns.
struct LineView {
  std::string_view text;  // without terminator
  Eol eol = Eol::kLf;

  bool operator==(const LineView&) const = default;
};

// Walks the lines of a byte string without copying them.
class LineCursor {
 public:
  explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  // The next line; only valid when !AtEnd().
  LineView Next();
  // Byte offset of the next line.
  size_t position() const { return pos_; }
  // Moves to the start of the line holding byte `offset` (which must lie at or after position()).
  void SkipToLineOf(size_t offset);

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

// The line that holds byte `offset` of `bytes`; *next receives where the line after it begins.
LineView LineAround(std::string_view bytes, size_t offset, size_t* next);

// The texts only, copied (configuration files, where terminators do not matter).
std::vector<std::string> SplitTexts(std::string_view bytes);

// An ordered list of lines stored as the bytes of a file: appending a line appends its text and
// terminator, so the list's bytes are the file's new content without another copy. Texts hold
// no CR or LF (as LineCursor gives them). Two lines are never glued into one, and every line
// reads back as the same text: a line without terminator that gets a successor is given LF, and
// an empty line that would get LF right after a lone CR gets CRLF (CR LF reads as one end).
// No per-line record is kept, so a page of millions of short lines costs only its bytes.
class LineBuffer {
 public:
  void Append(std::string_view text, Eol eol);
  void Append(const LineView& line) { Append(line.text, line.eol); }
  // Every line of `lines` with terminator `eol`, as Append would one by one; copied whole
  // where every one of them already ends so.
  void Append(const LineBuffer& lines, Eol eol);
  void Clear();
  // Room for this many bytes, so that a large page is not copied again and again as it grows.
  void Reserve(size_t bytes);
  size_t size() const { return count_; }
  // Found by reading the bytes; cheap when read in ascending order, as each read starts where
  // the last one ended.
  std::string_view operator[](size_t index) const;
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t count_ = 0;
  bool open_ = false;    // the last line has no terminator yet
  bool lf_only_ = true;  // every line ends in LF
  // Where the last indexed read left off: line number and byte offset of the line after it.
  mutable size_t read_index_ = 0;
  mutable size_t read_pos_ = 0;
};

// A UTF-8 byte-order mark at the very start, if any, removed.
std::string_view StripBom(std::string_view bytes);

}  // namespace splicery
