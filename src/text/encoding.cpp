// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding detection. The prescan follows the HTML Standard's steps one by one (their names in
// the comments), so that a page is read in the encoding a browser reads it in.
#include "text/encoding.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "text/display_text.h"

namespace splicery {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t kPrescanBytes = 1024;

struct EncodingRow {
  std::string_view name;
  const char* iconv;
  bool single_byte;
};
struct LabelRow {
  std::string_view label, name;
};

constexpr EncodingRow kEncodings[] = {
#define ENCODING(name, iconv, single) {name, iconv, single},
#define LABEL(label, name)
#include "text/encoding_labels.inc"
#undef ENCODING
#undef LABEL
};
constexpr LabelRow kLabels[] = {
#define ENCODING(name, iconv, single)
#define LABEL(label, name) {label, name},
#include "text/encoding_labels.inc"
#undef ENCODING
#undef LABEL
};

const EncodingRow* RowOf(std::string_view encoding) {
  for (const EncodingRow& row : kEncodings) {
    if (row.name == encoding) return &row;
  }
  return nullptr;
}

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == y; });
}

// A label in the scanned bytes, and the encoding it names (empty: the table does not know it).
struct Declaration {
  std::string_view encoding;
  std::string_view label;
  size_t at;
};

// "Getting an encoding": the label without surrounding white space, looked up.
Declaration GetEncoding(std::string_view value, size_t at) {
  size_t begin = 0, end = value.size();
  while (begin < end && IsSpace(value[begin])) ++begin;
  while (end > begin && IsSpace(value[end - 1])) --end;
  const std::string_view label = value.substr(begin, end - begin);
  return {EncodingForLabel(label), label, at + begin};
}

// "The algorithm for extracting a character encoding from a meta element", on a content
// attribute's value that begins at byte `at`. None when no charset is named.
std::optional<Declaration> ExtractFromContent(std::string_view s, size_t at) {
  size_t position = 0;
  for (;;) {
    size_t hit = npos;
    for (size_t i = position; i + 7 <= s.size(); ++i) {
      if (EqualsIgnoringCase(s.substr(i, 7), "charset")) {
        hit = i;
        break;
      }
    }
    if (hit == npos) return std::nullopt;
    size_t p = hit + 7;
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p >= s.size() || s[p] != '=') {
      position = p;
      continue;
    }
    ++p;
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p >= s.size()) return std::nullopt;
    if (s[p] == '"' || s[p] == '\'') {
      const size_t close = s.find(s[p], p + 1);
      if (close == npos) return std::nullopt;
      return GetEncoding(s.substr(p + 1, close - p - 1), at + p + 1);
    }
    size_t e = p;
    while (e < s.size() && !IsSpace(s[e]) && s[e] != ';') ++e;
    return GetEncoding(s.substr(p, e - p), at + p);
  }
}

struct Attribute {
  std::string name, value;
  size_t value_at = npos;  // the value's first byte in the scanned bytes
};

enum class Got { kAttribute, kNone, kRanOut };

// The prescan over bytes [0, end). Running out of bytes anywhere ends it without an answer.
class Prescan {
 public:
  // `found` sees every declaration that counts (a charset attribute, or a content attribute
  // with the pragma) and says whether to stop there.
  Prescan(std::string_view bytes, std::function<bool(const Declaration&)> found)
      : b_(bytes), found_(std::move(found)) {}

  void Run() {
    size_t pos = 0;
    const size_t n = b_.size();
    while (pos < n) {
      if (b_.substr(pos, 4) == "<!--") {
        // A comment ends at the first "-->" after "<!", which may share the opening dashes.
        const size_t end = b_.find("-->", pos + 2);
        if (end == npos) return;
        pos = end + 2;
      } else if (pos + 5 < n && EqualsIgnoringCase(b_.substr(pos, 5), "<meta") &&
                 (IsSpace(b_[pos + 5]) || b_[pos + 5] == '/')) {
        pos += 6;
        if (!Meta(pos)) return;
        if (stop_) return;
      } else if (b_[pos] == '<' && pos + 1 < n &&
                 (IsLetter(b_[pos + 1]) ||
                  (b_[pos + 1] == '/' && pos + 2 < n && IsLetter(b_[pos + 2])))) {
        while (pos < n && !IsSpace(b_[pos]) && b_[pos] != '>') ++pos;
        for (Attribute ignored;;) {
          const Got got = GetAttribute(pos, &ignored);
          if (got == Got::kRanOut) return;
          if (got == Got::kNone) break;
        }
      } else if (b_[pos] == '<' && pos + 1 < n &&
                 (b_[pos + 1] == '!' || b_[pos + 1] == '/' || b_[pos + 1] == '?')) {
        pos = b_.find('>', pos + 1);
        if (pos == npos) return;
      }
      ++pos;  // "next byte"
    }
  }

 private:
  // The steps after "<meta" and a space or slash; false when the bytes ran out.
  bool Meta(size_t& pos) {
    std::set<std::string> names;
    bool got_pragma = false;
    enum { kNull, kFalse, kTrue } need_pragma = kNull;
    std::optional<Declaration> charset;
    for (Attribute attr;;) {
      attr = {};
      const Got got = GetAttribute(pos, &attr);
      if (got == Got::kRanOut) return false;
      if (got == Got::kNone) break;
      if (!names.insert(attr.name).second) continue;
      if (attr.name == "http-equiv") {
        if (attr.value == "content-type") got_pragma = true;
      } else if (attr.name == "content") {
        std::optional<Declaration> extracted = ExtractFromContent(Raw(attr), attr.value_at);
        // An unknown label is no encoding for the standard; it is kept to be told about.
        if (extracted && !charset) {
          charset = extracted;
          need_pragma = kTrue;
        }
      } else if (attr.name == "charset") {
        charset = GetEncoding(Raw(attr), attr.value_at);
        need_pragma = kFalse;
      }
    }
    // "Processing".
    if (need_pragma == kNull || (need_pragma == kTrue && !got_pragma)) return true;
    stop_ = found_(*charset);
    return true;
  }

  // An attribute's value as it stands in the bytes.
  std::string_view Raw(const Attribute& attr) const {
    return attr.value.empty() ? std::string_view() : b_.substr(attr.value_at, attr.value.size());
  }

  // "Get an attribute". The value is taken from the bytes as they stand (value_at, size);
  // name and value are compared in lower case.
  Got GetAttribute(size_t& pos, Attribute* attr) {
    const size_t n = b_.size();
    while (pos < n && (IsSpace(b_[pos]) || b_[pos] == '/')) ++pos;
    if (pos >= n) return Got::kRanOut;
    if (b_[pos] == '>') return Got::kNone;
    for (;; ++pos) {
      if (pos >= n) return Got::kRanOut;
      const char c = b_[pos];
      if (c == '=' && !attr->name.empty()) {
        ++pos;
        return Value(pos, attr);
      }
      if (IsSpace(c)) break;
      if (c == '/' || c == '>') return Got::kAttribute;
      attr->name += Lower(c);
    }
    // "Spaces".
    while (pos < n && IsSpace(b_[pos])) ++pos;
    if (pos >= n) return Got::kRanOut;
    if (b_[pos] != '=') return Got::kAttribute;
    ++pos;
    return Value(pos, attr);
  }

  Got Value(size_t& pos, Attribute* attr) {
    const size_t n = b_.size();
    while (pos < n && IsSpace(b_[pos])) ++pos;
    if (pos >= n) return Got::kRanOut;
    const char c = b_[pos];
    if (c == '"' || c == '\'') {
      attr->value_at = pos + 1;
      for (++pos;; ++pos) {
        if (pos >= n) return Got::kRanOut;
        if (b_[pos] == c) {
          ++pos;
          return Got::kAttribute;
        }
        attr->value += Lower(b_[pos]);
      }
    }
    attr->value_at = pos;
    if (c == '>') return Got::kAttribute;
    for (;; ++pos) {
      if (pos >= n) return Got::kRanOut;
      if (IsSpace(b_[pos]) || b_[pos] == '>') return Got::kAttribute;
      attr->value += Lower(b_[pos]);
    }
  }

  std::string_view b_;
  std::function<bool(const Declaration&)> found_;
  bool stop_ = false;
};

// An XML declaration's encoding label ("<?xml version="1.0" encoding="iso-8859-1"?>"), which
// counts when no <meta> declares one.
std::optional<Declaration> XmlEncoding(std::string_view bytes) {
  if (!bytes.starts_with("<?xml")) return std::nullopt;
  const std::string_view decl = bytes.substr(0, bytes.find('>'));
  if (decl.size() == bytes.size()) return std::nullopt;
  size_t p = decl.find("encoding");
  if (p == npos) return std::nullopt;
  p += 8;
  while (p < decl.size() && static_cast<unsigned char>(decl[p]) <= 0x20) ++p;
  if (p >= decl.size() || decl[p] != '=') return std::nullopt;
  ++p;
  while (p < decl.size() && static_cast<unsigned char>(decl[p]) <= 0x20) ++p;
  if (p >= decl.size() || (decl[p] != '"' && decl[p] != '\'')) return std::nullopt;
  const size_t close = decl.find(decl[p], p + 1);
  if (close == npos) return std::nullopt;
  return GetEncoding(decl.substr(p + 1, close - p - 1), p + 1);
}

FileEncoding FromDeclaration(const Declaration& d) {
  FileEncoding result;
  result.label = std::string(d.label);
  result.label_at = d.at;
  if (d.encoding.empty()) {
    result.basis = EncodingBasis::kUnknownLabel;
    return result;
  }
  result.basis = EncodingBasis::kDeclared;
  // A page that says UTF-16 but was read by its ASCII bytes cannot be UTF-16.
  result.name = IsUtf16(d.encoding)              ? "UTF-8"
                : d.encoding == "x-user-defined" ? "windows-1252"
                                                 : d.encoding;
  return result;
}

}  // namespace

bool FileEncoding::Known() const {
  return (basis == EncodingBasis::kBom || basis == EncodingBasis::kDeclared ||
          basis == EncodingBasis::kGuessed) &&
         IconvName(name) != nullptr && !IsUtf16(name);
}

std::string_view EncodingForLabel(std::string_view label) {
  size_t begin = 0, end = label.size();
  while (begin < end && IsSpace(label[begin])) ++begin;
  while (end > begin && IsSpace(label[end - 1])) --end;
  label = label.substr(begin, end - begin);
  for (const LabelRow& row : kLabels) {
    if (EqualsIgnoringCase(label, row.label)) return row.name;
  }
  return {};
}

const char* IconvName(std::string_view encoding) {
  const EncodingRow* row = RowOf(encoding);
  return row ? row->iconv : nullptr;
}

bool IsSingleByte(std::string_view encoding) {
  const EncodingRow* row = RowOf(encoding);
  return row && row->single_byte;
}

bool IsUtf16(std::string_view encoding) { return encoding == "UTF-16LE" || encoding == "UTF-16BE"; }

FileEncoding DetectPageEncoding(std::string_view bytes) {
  FileEncoding result;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    result.name = "UTF-8";
  } else if (bytes.starts_with("\xFE\xFF")) {
    result.name = "UTF-16BE";
  } else if (bytes.starts_with("\xFF\xFE")) {
    result.name = "UTF-16LE";
  }
  if (!result.name.empty()) {
    result.basis = EncodingBasis::kBom;
    return result;
  }
  // "Prescan for UTF-16 XML declarations".
  using namespace std::literals;
  if (bytes.starts_with("<\0?\0x\0"sv)) return {"UTF-16LE", EncodingBasis::kDeclared, {}, npos};
  if (bytes.starts_with("\0<\0?\0x"sv)) return {"UTF-16BE", EncodingBasis::kDeclared, {}, npos};

  std::optional<Declaration> known, unknown;
  Prescan(bytes.substr(0, kPrescanBytes), [&](const Declaration& d) {
    if (d.encoding.empty()) {
      if (!unknown && !d.label.empty()) unknown = d;
      return false;  // the standard goes on looking
    }
    known = d;
    return true;
  }).Run();
  if (!known) {
    if (std::optional<Declaration> xml = XmlEncoding(bytes.substr(0, kPrescanBytes))) {
      (xml->encoding.empty() ? unknown : known) = xml;
    }
  }
  if (known) return FromDeclaration(*known);
  if (unknown) return FromDeclaration(*unknown);
  return result;
}

FileEncoding DetectIncludeEncoding(std::string_view bytes) {
  FileEncoding result = DetectPageEncoding(bytes);
  if (result.basis != EncodingBasis::kUndeclared) return result;
  switch (ShapeOf(bytes)) {
    case Utf8Shape::kAscii:
      return result;
    case Utf8Shape::kUtf8:
      result.name = "UTF-8";
      break;
    case Utf8Shape::kNotUtf8:
      result.name = "windows-1252";
      break;
  }
  result.basis = EncodingBasis::kGuessed;
  return result;
}

std::vector<LabelSpan> DeclaredLabels(std::string_view bytes) {
  std::vector<LabelSpan> spans;
  if (std::optional<Declaration> xml = XmlEncoding(bytes); xml && !xml->label.empty()) {
    spans.push_back({xml->at, xml->label.size()});
  }
  Prescan(bytes, [&](const Declaration& d) {
    if (!d.label.empty()) spans.push_back({d.at, d.label.size()});
    return false;
  }).Run();
  return spans;
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

Utf8Shape ShapeOf(std::string_view bytes) {
  if (IsAscii(bytes)) return Utf8Shape::kAscii;
  return IsValidUtf8(bytes) ? Utf8Shape::kUtf8 : Utf8Shape::kNotUtf8;
}

}  // namespace splicery
