// SPDX-License-Identifier: GPL-3.0-or-later
// Text from one encoding into another, by the C library's iconv (glibc: no further library).
// Encodings are named as the WHATWG Encoding Standard names them (text/encoding.h).
// windows-1252's five bytes that iconv rejects (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for
// U+0081, U+008D, U+008F, U+0090 and U+009D, as browsers read them.
#pragma once

#include <string>
#include <string_view>

#include "text/encoding.h"

namespace splicery {

enum class ConvertProblem : unsigned char {
  kNone,
  kInvalidBytes,  // a byte sequence the source encoding does not allow
  kUnsupported,   // an encoding the library cannot convert
};

struct ConvertResult {
  ConvertProblem problem = ConvertProblem::kNone;
  size_t bad_at = 0;  // kInvalidBytes: the offset of the first byte that does not fit
  explicit operator bool() const { return problem == ConvertProblem::kNone; }
};

// `bytes` in `encoding` as UTF-8 into *out (replaced).
ConvertResult DecodeToUtf8(std::string_view bytes, std::string_view encoding, std::string* out);

// UTF-8 `text` in `encoding` into *out (replaced); a character the encoding cannot hold is
// written as a numeric character reference ("&#8364;"), which every encoding can hold.
ConvertResult EncodeFromUtf8(std::string_view text, std::string_view encoding, std::string* out);

// `bytes` from one encoding into another, through UTF-8.
ConvertResult Convert(std::string_view bytes, std::string_view from, std::string_view to,
                      std::string* out);

// --- A file moved to UTF-8 ---

enum class MoveProblem : unsigned char {
  kNone,
  kUtf16,         // saved as UTF-16: never converted
  kUnknownLabel,  // a label the table or the library does not know
  kInvalidBytes,  // bytes the file's encoding does not allow
};

struct MovedText {
  MoveProblem problem = MoveProblem::kNone;
  std::string_view from;  // the encoding the bytes were read in
  std::string label;      // kUnknownLabel: the label
  size_t bad_at = 0;      // kInvalidBytes: the offset of the first byte that does not fit
  bool declared = false;  // the file declares its encoding (byte-order mark or declaration)
  std::string utf8;       // the text in UTF-8; declarations still as they were
};

// A file's text in UTF-8, read by `encoding` (as detected): an undeclared file as UTF-8 when
// its bytes are valid UTF-8, else as windows-1252.
MovedText MoveToUtf8(std::string_view bytes, const FileEncoding& encoding);

// `utf8` with every declared label that does not already name UTF-8 replaced by "utf-8"; when
// `add_when_missing` and it has none, no byte-order mark and bytes outside ASCII,
// <meta charset="utf-8"> is added as a line of its own after the line holding the <head> tag,
// else after the one holding <html>, else as the first line, with that line's terminator.
std::string DeclareUtf8(std::string_view utf8, bool add_when_missing);

}  // namespace splicery
