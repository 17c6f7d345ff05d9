// SPDX-License-Identifier: GPL-3.0-or-later
// A streaming HTML tokenizer after the WHATWG tokenization states, for what a link check needs:
// start and end tags with their attributes, each value with its byte offset. Comments, DOCTYPE,
// bogus comments and the contents of raw-text elements are walked over as browsers do, so a tag
// inside a comment or a "</a>" inside a script is not seen. Text is skipped, never copied.
// Works on the page's bytes as they are: names are compared as ASCII, any encoding that keeps
// ASCII as ASCII (UTF-8, windows-1252) tokenizes alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace splicery::html {

struct Attribute {
  std::string name;         // ASCII letters lower-cased
  std::string_view value;   // as written: quotes removed, character references not decoded
  size_t value_offset = 0;  // of the value's first byte; of the name when there is no value
};

struct Tag {
  std::string name;  // ASCII letters lower-cased
  bool end = false;
  bool self_closing = false;
  size_t offset = 0;  // of the '<'
  // In page order; of two attributes with one name only the first counts, as in browsers.
  std::vector<Attribute> attributes;

  const Attribute* Find(std::string_view attribute_name) const;
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view bytes) : bytes_(bytes) {}
  // The next start or end tag; false at the end of the bytes. A tag cut off by the end of the
  // bytes is not reported (a browser drops it too). Reusing one Tag keeps its buffers.
  bool Next(Tag& tag);

 private:
  enum class Content { kData, kRcdata, kRawText, kScript, kPlainText };
  bool ReadTag(size_t name_begin, bool end, Tag& tag);
  bool ReadAttribute(size_t& i, Tag& tag);
  void EnterRawText(std::string_view name);
  size_t CommentEnd(size_t from) const;
  size_t ScriptEnd(size_t from) const;
  size_t RawTextEnd(size_t from) const;
  bool EndTagOf(size_t at, std::string_view name) const;

  std::string_view bytes_;
  size_t pos_ = 0;
  Content content_ = Content::kData;
  std::string raw_name_;  // the element whose end tag ends raw text
};

// Line numbers of byte offsets by the program's line rule (LF, CRLF or a lone CR ends a line),
// cheap when asked in ascending order.
class LineCounter {
 public:
  explicit LineCounter(std::string_view bytes) : bytes_(bytes) {}
  size_t LineOf(size_t offset);  // 1-based

 private:
  std::string_view bytes_;
  size_t pos_ = 0, line_ = 1;
};

}  // namespace splicery::html
