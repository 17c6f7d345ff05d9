// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion through iconv(3), with the two departures browsers make from it: windows-1252's
// five unassigned bytes, and characters a target cannot hold written as references.
#include "text/convert.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "text/display_text.h"
#include "text/encoding.h"
#include "text/lines.h"

namespace splicery {
namespace {

bool IsWindows1252Gap(unsigned value) {
  return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// One conversion descriptor, closed when it goes out of scope.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) ::iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  // iconv_open says failure with (iconv_t)-1.
  bool ok() const {
    return cd_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Converts as much of [*in, *in + *left) as it can, appending to *out. Returns 0, or the
  // errno that stopped it (EILSEQ, EINVAL) with *in at the byte that did. `in` null: back to
  // the initial shift state.
  int Step(const char** in, size_t* left, std::string* out) {
    for (;;) {
      const size_t used = out->size();
      out->resize(used + (left ? *left * 2 : 0) + 64);
      char* to = out->data() + used;
      size_t room = out->size() - used;
      const size_t r = ::iconv(cd_, const_cast<char**>(in), left, &to, &room);
      const int error = r == static_cast<size_t>(-1) ? errno : 0;
      out->resize(out->size() - room);
      if (error != E2BIG) return error;
    }
  }

 private:
  iconv_t cd_;
};

// The code point of the valid UTF-8 sequence at `s` and its length; length 0 when there is
// none.
char32_t CodePointAt(std::string_view s, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  *length = 0;
  if (s.empty()) return 0;
  const unsigned char c = byte(0);
  size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
  if (n > s.size() || !IsValidUtf8(s.substr(0, n))) return 0;
  char32_t value = n == 1 ? c : c & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) value = (value << 6) | (byte(i) & 0x3F);
  *length = n;
  return value;
}

}  // namespace

ConvertResult DecodeToUtf8(std::string_view bytes, std::string_view encoding, std::string* out) {
  out->clear();
  if (encoding == "UTF-8") {
    if (!IsValidUtf8(bytes)) return {ConvertProblem::kInvalidBytes, 0};
    out->assign(bytes);
    return {};
  }
  const char* name = IconvName(encoding);
  if (!name) return {ConvertProblem::kUnsupported, 0};
  Iconv cd("UTF-8", name);
  if (!cd.ok()) return {ConvertProblem::kUnsupported, 0};
  out->reserve(bytes.size() + bytes.size() / 4);
  const char* in = bytes.data();
  size_t left = bytes.size();
  const bool windows_1252 = encoding == "windows-1252";
  while (left > 0) {
    if (cd.Step(&in, &left, out) == 0) break;
    const unsigned char c = static_cast<unsigned char>(*in);
    if (!windows_1252 || !IsWindows1252Gap(c)) {
      return {ConvertProblem::kInvalidBytes, static_cast<size_t>(in - bytes.data())};
    }
    out->push_back('\xC2');
    out->push_back(static_cast<char>(c));
    ++in;
    --left;
  }
  return {};
}

ConvertResult EncodeFromUtf8(std::string_view text, std::string_view encoding, std::string* out) {
  out->clear();
  if (encoding == "UTF-8") {
    if (!IsValidUtf8(text)) return {ConvertProblem::kInvalidBytes, 0};
    out->assign(text);
    return {};
  }
  const char* name = IconvName(encoding);
  if (!name) return {ConvertProblem::kUnsupported, 0};
  Iconv cd(name, "UTF-8");
  if (!cd.ok()) return {ConvertProblem::kUnsupported, 0};
  out->reserve(text.size());
  const char* in = text.data();
  size_t left = text.size();
  const bool windows_1252 = encoding == "windows-1252";
  while (left > 0) {
    if (cd.Step(&in, &left, out) == 0) break;
    size_t length;
    const char32_t value = CodePointAt(std::string_view(in, left), &length);
    if (length == 0) {
      return {ConvertProblem::kInvalidBytes, static_cast<size_t>(in - text.data())};
    }
    // A reference is ASCII: a stateful encoding (ISO-2022-JP) must first shift back to it.
    cd.Step(nullptr, nullptr, out);
    if (windows_1252 && IsWindows1252Gap(value)) {
      out->push_back(static_cast<char>(value));
    } else {
      out->append("&#").append(std::to_string(static_cast<unsigned long>(value))).append(";");
    }
    in += length;
    left -= length;
  }
  cd.Step(nullptr, nullptr, out);
  return {};
}

ConvertResult Convert(std::string_view bytes, std::string_view from, std::string_view to,
                      std::string* out) {
  if (from == to) {
    out->assign(bytes);
    return {};
  }
  std::string utf8;
  if (ConvertResult decoded = DecodeToUtf8(bytes, from, &utf8); !decoded) return decoded;
  return EncodeFromUtf8(utf8, to, out);
}

MovedText MoveToUtf8(std::string_view bytes, const FileEncoding& encoding) {
  MovedText moved;
  moved.declared =
      encoding.basis == EncodingBasis::kBom || encoding.basis == EncodingBasis::kDeclared;
  if (IsUtf16(encoding.name)) {
    moved.problem = MoveProblem::kUtf16;
    return moved;
  }
  if (encoding.basis == EncodingBasis::kUnknownLabel || (moved.declared && !encoding.Known())) {
    moved.problem = MoveProblem::kUnknownLabel;
    moved.label = encoding.label;
    return moved;
  }
  moved.from = !encoding.name.empty() ? encoding.name
               : IsValidUtf8(bytes)   ? std::string_view("UTF-8")
                                      : std::string_view("windows-1252");
  if (ConvertResult decoded = DecodeToUtf8(bytes, moved.from, &moved.utf8); !decoded) {
    moved.problem = MoveProblem::kInvalidBytes;
    moved.bad_at = decoded.bad_at;
    // A UTF-8 check tells no offset: find it by the longest valid start.
    if (moved.from == "UTF-8") {
      size_t good = 0;
      for (size_t n = bytes.size(); good < n;) {
        const size_t step = std::min<size_t>(4, n - good);
        size_t len = 0;
        for (size_t l = 1; l <= step; ++l) {
          if (IsValidUtf8(bytes.substr(good, l))) {
            len = l;
            break;
          }
        }
        if (len == 0) break;
        good += len;
      }
      moved.bad_at = good;
    }
  }
  return moved;
}

namespace {

// The offset of the first "<tag" (ASCII case ignored) that ends the tag's name, or npos.
size_t FindTag(std::string_view text, std::string_view tag) {
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (text.size() - at < tag.size() + 2) return std::string_view::npos;
    bool same = true;
    for (size_t i = 0; i < tag.size() && same; ++i) {
      char c = text[at + 1 + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == tag[i];
    }
    const char after = text[at + 1 + tag.size()];
    if (same && (after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\n' ||
                 after == '\r' || after == '\f')) {
      return at;
    }
  }
  return std::string_view::npos;
}

// `utf8` with <meta charset="utf-8"> as a line of its own after the line holding the tag at
// `tag`, or, for npos, as the first line; with that line's terminator.
std::string WithDeclarationAt(std::string_view utf8, size_t tag) {
  std::string out;
  size_t insert_at = 0;
  Eol eol = Eol::kLf;
  if (tag != std::string_view::npos) {
    const LineView line = LineAround(utf8, tag, &insert_at);
    eol = line.eol == Eol::kNone ? Eol::kLf : line.eol;
    out.append(utf8.substr(0, insert_at));
    if (line.eol == Eol::kNone) out.append(EolBytes(eol));
  } else if (!utf8.empty()) {
    size_t next;
    const LineView first = LineAround(utf8, 0, &next);
    if (first.eol != Eol::kNone) eol = first.eol;
  }
  out.append("<meta charset=\"utf-8\">").append(EolBytes(eol));
  out.append(utf8.substr(insert_at));
  return out;
}

}  // namespace

std::string DeclareUtf8(std::string_view utf8, bool add_when_missing) {
  const std::vector<LabelSpan> labels = DeclaredLabels(utf8);
  std::string out;
  if (!labels.empty() || !add_when_missing || utf8.starts_with("\xEF\xBB\xBF") || IsAscii(utf8)) {
    size_t from = 0;
    for (const LabelSpan& span : labels) {
      if (span.at < from) continue;  // an XML declaration inside the scanned text
      if (EncodingForLabel(utf8.substr(span.at, span.size)) == "UTF-8") continue;
      out.append(utf8.substr(from, span.at - from)).append("utf-8");
      from = span.at + span.size;
    }
    out.append(utf8.substr(from));
    return out;
  }
  size_t tag = FindTag(utf8, "head");
  if (tag == std::string_view::npos) tag = FindTag(utf8, "html");
  out = WithDeclarationAt(utf8, tag);
  // A declaration the prescan does not reach (past its 1,024 bytes, or taken into a broken tag
  // before it) declares nothing, and the next move would add another; one that lands inside an
  // open tag changes how the rest is read, bringing a label to light that the next move would
  // rewrite. As the first line it always counts and changes nothing after it.
  if (tag != std::string_view::npos &&
      (DetectPageEncoding(out).name != "UTF-8" || DeclaredLabels(out).size() != 1)) {
    out = WithDeclarationAt(utf8, std::string_view::npos);
  }
  return out;
}

}  // namespace splicery
