// SPDX-License-Identifier: GPL-3.0-or-later
// Which encoding a file's bytes are in, decided the way browsers decide it: a byte-order mark,
// else the HTML Standard's prescan of the first 1,024 bytes for a <meta> declaration, with
// labels mapped by the WHATWG Encoding Standard's table. Nothing here converts anything.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace splicery {

enum class EncodingBasis : unsigned char {
  kUndeclared,    // nothing says; the bytes are left as they are
  kBom,           // a byte-order mark
  kDeclared,      // a <meta> (or an XML declaration) the prescan found
  kGuessed,       // include.htm only: told by its bytes
  kUnknownLabel,  // a declaration whose label the table does not know
};

struct FileEncoding {
  // The standard's name ("UTF-8", "windows-1252", "UTF-16LE"); empty for kUndeclared and
  // kUnknownLabel.
  std::string_view name;
  EncodingBasis basis = EncodingBasis::kUndeclared;
  // The declared label as it stands in the bytes, and where: for kDeclared and kUnknownLabel
  // when the declaration is a <meta> or an XML declaration.
  std::string label;
  size_t label_at = std::string_view::npos;

  // Whether text may be converted into or out of the file: its encoding is known and
  // something other than UTF-16, which nothing is ever converted into.
  bool Known() const;
  bool operator==(const FileEncoding&) const = default;
};

// A page: byte-order mark, else the prescan, else undeclared.
FileEncoding DetectPageEncoding(std::string_view bytes);

// include.htm, which has no head: as a page, and when that finds no declaration, UTF-8 when
// its bytes are valid UTF-8 holding a multi-byte sequence, windows-1252 when they are not
// valid UTF-8, undeclared when they are plain ASCII.
FileEncoding DetectIncludeEncoding(std::string_view bytes);

// The encoding a label names, or an empty view; ASCII case and surrounding ASCII white space
// do not matter.
std::string_view EncodingForLabel(std::string_view label);

// The iconv name of one of the standard's encodings, or nullptr where the C library has none
// ("replacement", "x-user-defined") or the name is none of the standard's.
const char* IconvName(std::string_view encoding);

// Whether the encoding gives every byte a character of its own (windows-1252, ISO-8859-2, ...).
bool IsSingleByte(std::string_view encoding);

bool IsUtf16(std::string_view encoding);

// A label found in a charset declaration, as a span of the scanned bytes.
struct LabelSpan {
  size_t at, size;
};

// Every charset label in `bytes` that a prescan of the whole text would take as a declaration
// (a <meta charset>, or a <meta http-equiv="content-type"> with a charset in its content,
// outside comments), whether the table knows the label or not: the labels a move to UTF-8
// replaces.
std::vector<LabelSpan> DeclaredLabels(std::string_view bytes);

bool IsAscii(std::string_view bytes);

// What text's bytes look like as UTF-8.
enum class Utf8Shape : unsigned char {
  kAscii,    // no byte above 0x7F
  kUtf8,     // valid UTF-8 holding at least one multi-byte sequence
  kNotUtf8,  // not valid UTF-8
};
Utf8Shape ShapeOf(std::string_view bytes);

// The encodings of the files pieces of spliced text come from: include.htm's, and each page's
// that gave news entries (by its path in include.txt).
struct SourceEncodings {
  FileEncoding include_source;
  std::map<std::string, FileEncoding, std::less<>> pages;
};

}  // namespace splicery
