// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 validation and the decoding of texts for display.
#include "text/display_text.h"

#include "text/convert.h"
#include "text/encoding.h"
#include "text/news_entry.h"

namespace splicery {
namespace {

// The length of the valid UTF-8 sequence at bytes[i], or 0.
size_t SequenceAt(std::string_view bytes, size_t i) {
  const auto c = static_cast<unsigned char>(bytes[i]);
  const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
  return n <= bytes.size() - i && IsValidUtf8(bytes.substr(i, n)) ? n : 0;
}

// Valid UTF-8 as it is, every other byte as windows-1252: the program's own texts are UTF-8,
// so in a status text only a file name that is not UTF-8 holds such bytes.
void AppendUtf8ElseWindows1252(std::string_view bytes, std::string* out) {
  std::string decoded;
  for (size_t i = 0; i < bytes.size();) {
    if (const size_t n = SequenceAt(bytes, i)) {
      out->append(bytes.substr(i, n));
      i += n;
      continue;
    }
    size_t end = i + 1;
    while (end < bytes.size() && SequenceAt(bytes, end) == 0) ++end;
    DecodeToUtf8(bytes.substr(i, end - i), "windows-1252", &decoded);
    out->append(decoded);
    i = end;
  }
}

}  // namespace

std::string DisplayUtf8(std::string_view bytes, std::string_view encoding) {
  std::string out;
  if (!encoding.empty() && encoding != "UTF-8" && !IsUtf16(encoding)) {
    const ConvertResult decoded = DecodeToUtf8(bytes, encoding, &out);
    if (decoded) return out;
    // What was valid stays decoded (a text cut inside a character ends in the fallback).
    if (decoded.problem != ConvertProblem::kInvalidBytes) out.clear();
    bytes = bytes.substr(decoded.problem == ConvertProblem::kInvalidBytes ? decoded.bad_at : 0);
  }
  if (IsValidUtf8(bytes)) return out.append(bytes);
  AppendUtf8ElseWindows1252(bytes, &out);
  return out;
}

std::string DisplayNewsEntry(std::string_view entry, const SourceEncodings& sources) {
  const std::optional<NewsPieces> pieces = SplitNewsEntry(entry);
  if (!pieces) return DisplayUtf8(entry);
  const auto page = sources.pages.find(pieces->page);
  const std::string_view encoding = page == sources.pages.end() ? "" : page->second.name;
  const size_t title_at = static_cast<size_t>(pieces->title.data() - entry.data());
  return DisplayUtf8(entry.substr(0, title_at)) + DisplayUtf8(pieces->title, encoding);
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
    if (c1 < lo || c1 > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      unsigned char ck = static_cast<unsigned char>(bytes[i + k]);
      if (ck < 0x80 || ck > 0xBF) return false;
    }
    i += len;
  }
  return true;
}

}  // namespace splicery
