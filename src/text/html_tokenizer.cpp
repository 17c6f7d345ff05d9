// SPDX-License-Identifier: GPL-3.0-or-later
// The tokenizer's states, walked by position. Character references never end a tag or a value,
// so they are left to the caller; CR counts as white space as the input stream's newline
// normalisation makes it.
#include "text/html_tokenizer.h"

#include <algorithm>
#include <cstring>

#include "text/block_walker.h"

namespace splicery::html {
namespace {

constexpr size_t npos = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view bytes, size_t at, std::string_view prefix) {
  if (bytes.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(bytes[at + i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

const Attribute* Tag::Find(std::string_view attribute_name) const {
  for (const Attribute& a : attributes) {
    if (a.name == attribute_name) return &a;
  }
  return nullptr;
}

bool Tokenizer::Next(Tag& tag) {
  const std::string_view b = bytes_;
  const size_t n = b.size();
  while (pos_ < n) {
    if (content_ != Content::kData) {
      if (content_ == Content::kPlainText) {
        pos_ = n;
        return false;
      }
      const size_t end = content_ == Content::kScript ? ScriptEnd(pos_) : RawTextEnd(pos_);
      content_ = Content::kData;
      if (end == npos) {
        pos_ = n;
        return false;
      }
      if (ReadTag(end + 2, true, tag)) return true;
      continue;
    }
    const void* lt = std::memchr(b.data() + pos_, '<', n - pos_);
    if (!lt) {
      pos_ = n;
      return false;
    }
    const size_t at = static_cast<size_t>(static_cast<const char*>(lt) - b.data());
    if (at + 1 >= n) {
      pos_ = n;
      return false;
    }
    const char c = b[at + 1];
    if (IsAlpha(c)) {
      if (ReadTag(at + 1, false, tag)) return true;
    } else if (c == '/') {
      if (at + 2 >= n) {
        pos_ = n;
      } else if (IsAlpha(b[at + 2])) {
        if (ReadTag(at + 2, true, tag)) return true;
      } else if (b[at + 2] == '>') {
        pos_ = at + 3;  // "</>" is dropped
      } else {
        const size_t gt = b.find('>', at + 2);  // bogus comment
        pos_ = gt == npos ? n : gt + 1;
      }
    } else if (c == '!') {
      if (b.compare(at + 2, 2, "--") == 0) {
        pos_ = CommentEnd(at + 4);
      } else {
        // DOCTYPE ends at the first '>' even inside its quoted identifiers; so does a bogus
        // comment (CDATA sections exist only inside SVG and MathML).
        const size_t gt = b.find('>', at + 2);
        pos_ = gt == npos ? n : gt + 1;
      }
    } else if (c == '?') {
      const size_t gt = b.find('>', at + 2);
      pos_ = gt == npos ? n : gt + 1;
    } else {
      pos_ = at + 1;  // a '<' in text
    }
  }
  return false;
}

// From the first byte of the name; leaves pos_ after the tag. False when the bytes end first.
// Before attribute name, after a quoted value and the self-closing start tag state are this
// loop; the attribute states are ReadAttribute.
bool Tokenizer::ReadTag(size_t name_begin, bool end, Tag& tag) {
  const std::string_view b = bytes_;
  const size_t n = b.size();
  tag.name.clear();
  tag.attributes.clear();
  tag.end = end;
  tag.self_closing = false;
  tag.offset = name_begin - (end ? 2 : 1);
  size_t i = name_begin;
  while (i < n && !IsSpace(b[i]) && b[i] != '/' && b[i] != '>') tag.name.push_back(Lower(b[i++]));
  while (i < n) {
    const char c = b[i];
    tag.self_closing = c == '/' && i + 1 < n && b[i + 1] == '>';
    if (c == '>' || tag.self_closing) {
      pos_ = i + (tag.self_closing ? 2 : 1);
      if (!end) EnterRawText(tag.name);
      return true;
    }
    if (IsSpace(c) || c == '/') {
      ++i;  // a stray solidus starts nothing
    } else if (!ReadAttribute(i, tag)) {
      break;
    }
  }
  pos_ = n;
  return false;
}

// Attribute name, after attribute name, before attribute value and the three value states,
// from the name's first byte at `i`; leaves `i` after the value. False when the bytes end in
// a value.
bool Tokenizer::ReadAttribute(size_t& i, Tag& tag) {
  const std::string_view b = bytes_;
  const size_t n = b.size();
  Attribute& a = tag.attributes.emplace_back();
  // A leading '=' belongs to the name; '"', '\'' and '<' are kept (parse errors).
  a.name.push_back(Lower(b[i++]));
  while (i < n && !IsSpace(b[i]) && b[i] != '/' && b[i] != '>' && b[i] != '=') {
    a.name.push_back(Lower(b[i++]));
  }
  a.value_offset = i - a.name.size();
  // Of two attributes with one name the later one is read and dropped.
  bool dropped = false;
  for (size_t k = 0; k + 1 < tag.attributes.size() && !dropped; ++k) {
    dropped = tag.attributes[k].name == a.name;
  }
  if (dropped) tag.attributes.pop_back();
  while (i < n && IsSpace(b[i])) ++i;
  if (i >= n || b[i] != '=') return true;  // no value: the next byte starts what follows
  ++i;
  while (i < n && IsSpace(b[i])) ++i;
  if (i >= n) return false;
  size_t value_begin = i, value_end = i;
  if (b[i] == '"' || b[i] == '\'') {
    // After the closing quote anything but white space, '/' or '>' starts the next attribute.
    const size_t close = b.find(b[i], i + 1);
    if (close == npos) return false;
    value_begin = i + 1;
    value_end = close;
    i = close + 1;
  } else if (b[i] != '>') {  // a '>' here: the value is missing, and the tag ends
    while (i < n && !IsSpace(b[i]) && b[i] != '>') ++i;
    value_end = i;
  }
  if (!dropped) {
    Attribute& kept = tag.attributes.back();
    kept.value = b.substr(value_begin, value_end - value_begin);
    kept.value_offset = value_begin;
  }
  return true;
}

// After a start tag whose element holds raw text, the tokenizer looks only for its end tag.
void Tokenizer::EnterRawText(std::string_view name) {
  // Only these letters begin the names of elements with raw text.
  if (name.size() < 3 || !std::strchr("stxinp", name[0])) return;
  Content next = Content::kData;
  if (name == "script") {
    next = Content::kScript;
  } else if (name == "title" || name == "textarea") {
    next = Content::kRcdata;
  } else if (name == "style" || name == "xmp" || name == "iframe" || name == "noembed" ||
             name == "noframes") {
    next = Content::kRawText;
  } else if (name == "plaintext") {
    next = Content::kPlainText;
  }
  if (next != Content::kData) {
    content_ = next;
    raw_name_ = name;
  }
}

// "</NAME" followed by white space, '/' or '>' at `at`: the appropriate end tag.
bool Tokenizer::EndTagOf(size_t at, std::string_view name) const {
  const std::string_view b = bytes_;
  if (b.size() - at < name.size() + 3 || b[at] != '<' || b[at + 1] != '/') return false;
  if (!StartsWithNoCase(b, at + 2, name)) return false;
  const char after = b[at + 2 + name.size()];
  return IsSpace(after) || after == '/' || after == '>';
}

size_t Tokenizer::RawTextEnd(size_t from) const {
  for (size_t at = bytes_.find("</", from); at != npos; at = bytes_.find("</", at + 1)) {
    if (EndTagOf(at, raw_name_)) return at;
  }
  return npos;
}

// Script data with its escaped and double-escaped states: after "<!--" a "<script" nests, and
// its "</script>" ends only the nested one, until "-->".
size_t Tokenizer::ScriptEnd(size_t from) const {
  const std::string_view b = bytes_;
  enum { kData, kEscaped, kDoubleEscaped } state = kData;
  int dashes = 0;
  for (size_t i = from; i < b.size(); ++i) {
    const char c = b[i];
    if (state == kData) {
      if (c != '<') continue;
      if (EndTagOf(i, "script")) return i;
      if (b.compare(i + 1, 3, "!--") == 0) {
        state = kEscaped;
        dashes = 2;
        i += 3;
      }
      continue;
    }
    if (c == '-') {
      ++dashes;
      continue;
    }
    if (c == '>' && dashes >= 2) {
      state = kData;
    } else if (c == '<') {
      if (state == kEscaped) {
        if (EndTagOf(i, "script")) return i;
        if (StartsWithNoCase(b, i + 1, "script") && i + 7 < b.size() &&
            (IsSpace(b[i + 7]) || b[i + 7] == '/' || b[i + 7] == '>')) {
          state = kDoubleEscaped;
          i += 6;
        }
      } else if (EndTagOf(i, "script")) {
        state = kEscaped;
        i += 7;
      }
    }
    dashes = 0;
  }
  return npos;
}

// From the byte after "<!--" to the byte after the comment's end ("-->", "--!>", or the
// abrupt "<!-->" and "<!--->"); the end of the bytes when it never ends.
size_t Tokenizer::CommentEnd(size_t from) const {
  const std::string_view b = bytes_;
  if (from < b.size() && b[from] == '>') return from + 1;
  if (b.compare(from, 2, "->") == 0) return from + 2;
  for (size_t at = b.find("--", from); at != npos; at = b.find("--", at)) {
    size_t after = at + 2;
    while (after < b.size() && b[after] == '-') ++after;
    if (after < b.size() && b[after] == '>') return after + 1;
    if (b.compare(after, 2, "!>") == 0) return after + 2;
    at = after;
  }
  return b.size();
}

size_t LineCounter::LineOf(size_t offset) {
  if (offset < pos_) pos_ = 0, line_ = 1;
  offset = std::min(offset, bytes_.size());
  line_ += CountLines(bytes_, pos_, offset);
  pos_ = offset;
  return line_;
}

}  // namespace splicery::html
