// SPDX-License-Identifier: GPL-3.0-or-later
// A small HTML tag reader for the robots meta element, and the newest stand date.
#include "publish/page_facts.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "scan/news_scan.h"
#include "text/lines.h"
#include "text/markers.h"
#include "text/web_text.h"

namespace splicery {
namespace {

constexpr size_t npos = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The position after the first `needle` (any case) at or after `from`, or npos.
size_t SkipPastNoCase(std::string_view text, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, needle.size()), needle)) return i + needle.size();
  }
  return npos;
}

struct Tag {
  std::string_view name;  // as written; empty for an end tag or anything that is no start tag
  std::optional<std::string_view> name_attr, content_attr;
  size_t end = npos;  // the position after ">"
};

bool IsNameEnd(char c) { return IsSpace(c) || c == '/' || c == '>'; }

// The attribute at `i` (past blanks), its value unquoted; i ends after it. Views into `s`, so
// that the many tags of a page cost no allocation.
void ReadAttribute(std::string_view s, size_t& i, std::string_view* attr, std::string_view* value) {
  const size_t from = i;
  do {
    ++i;
  } while (i < s.size() && !IsNameEnd(s[i]) && s[i] != '=');
  *attr = s.substr(from, i - from);
  *value = {};
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i >= s.size() || s[i] != '=') return;
  ++i;
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
    const size_t close = s.find(s[i], i + 1);
    const size_t stop = close == npos ? s.size() : close;
    *value = s.substr(i + 1, stop - i - 1);
    i = close == npos ? s.size() : close + 1;
    return;
  }
  const size_t begin = i;
  while (i < s.size() && !IsSpace(s[i]) && s[i] != '>') ++i;
  *value = s.substr(begin, i - begin);
}

// Reads the start tag whose "<" is at `p`, as HTML's tokenizer reads attributes (the first of
// two attributes of one name counts).
Tag ReadTag(std::string_view s, size_t p) {
  Tag tag;
  size_t i = p + 1;
  const bool start = i < s.size() && ((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'));
  while (i < s.size() && !IsNameEnd(s[i])) ++i;
  if (start) tag.name = s.substr(p + 1, i - p - 1);
  while (i < s.size()) {
    while (i < s.size() && (IsSpace(s[i]) || s[i] == '/')) ++i;
    if (i >= s.size() || s[i] == '>') break;
    std::string_view attr, value;
    ReadAttribute(s, i, &attr, &value);
    if (EqualsNoCase(attr, "name") && !tag.name_attr) tag.name_attr = value;
    if (EqualsNoCase(attr, "content") && !tag.content_attr) tag.content_attr = value;
  }
  tag.end = i < s.size() ? i + 1 : s.size();
  return tag;
}

bool HoldsNoIndex(std::string_view content) {
  size_t i = 0;
  while (i < content.size()) {
    while (i < content.size() && (IsSpace(content[i]) || content[i] == ',')) ++i;
    size_t e = i;
    while (e < content.size() && !IsSpace(content[e]) && content[e] != ',') ++e;
    const std::string_view token = content.substr(i, e - i);
    if (EqualsNoCase(token, "noindex") || EqualsNoCase(token, "none")) return true;
    i = e;
  }
  return false;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool RobotsNoIndex(std::string_view page) {
  size_t p = 0;
  while (p < page.size()) {
    const void* hit = std::memchr(page.data() + p, '<', page.size() - p);
    if (!hit) break;
    p = static_cast<size_t>(static_cast<const char*>(hit) - page.data());
    if (page.substr(p, 4) == "<!--") {
      const size_t end = page.find("-->", p + 4);
      if (end == npos) break;
      p = end + 3;
      continue;
    }
    const Tag tag = ReadTag(page, p);
    p = tag.end;
    if (EqualsNoCase(tag.name, "meta")) {
      if (tag.name_attr && tag.content_attr && EqualsNoCase(Trim(*tag.name_attr), "robots") &&
          HoldsNoIndex(*tag.content_attr)) {
        return true;
      }
    } else if (EqualsNoCase(tag.name, "script") || EqualsNoCase(tag.name, "style")) {
      // Their text is no markup: skip to the matching end tag.
      p = SkipPastNoCase(page, "</" + std::string(tag.name), p);
      if (p == npos) break;
    }
  }
  return false;
}

namespace {

// The stand line around the marker at `hit`: its date counts where it is newer. *next becomes
// the line after it, where the search for the next stand line goes on.
void NoteStand(std::string_view page, size_t hit, size_t* next, std::string* newest) {
  const StandLine stand = ReadStandLine(LineAround(page, hit, next).text);
  if (stand.kind != StandLine::kEntry) return;
  if (std::optional<std::string> iso = IsoDate(stand.date); iso && *iso > *newest) {
    *newest = std::move(*iso);
  }
}

// Whether the robots word (any case) or the stand marker may begin at `p`: the bytes at +0, +2
// and +5 with the case bit set read "r", "b", "s" or "<", "-", "s". Little text passes; the
// words are then compared in full.
bool MayBeginWord(const char* p) {
  const char a = static_cast<char>(p[0] | 0x20), c = static_cast<char>(p[2] | 0x20);
  return static_cast<char>(p[5] | 0x20) == 's' &&
         ((a == 'r' && c == 'b') || (a == '<' && c == '-'));
}

// Whether MayBeginWord at any of the `kCount` positions from `p` (which reads 5 bytes past
// the last), tested 16 at a time with the compiler's vector types (SSE2 or NEON where there is
// one): the sitemap reads every page of the site, and the words are rare.
template <size_t kCount>
bool MayBeginIn(const char* p) {
  using Bytes = unsigned char __attribute__((vector_size(16)));
  using Mask = signed char __attribute__((vector_size(16)));  // what comparing Bytes gives
  Mask any{};
#pragma GCC unroll 4
  for (size_t k = 0; k < kCount; k += sizeof(Bytes)) {
    Bytes a, c, s;
    std::memcpy(&a, p + k, sizeof a);
    std::memcpy(&c, p + k + 2, sizeof c);
    std::memcpy(&s, p + k + 5, sizeof s);
    a |= 0x20;
    c |= 0x20;
    s |= 0x20;
    any |= (s == 's') & (((a == 'r') & (c == 'b')) | ((a == '<') & (c == '-')));
  }
  uint64_t halves[2];
  std::memcpy(halves, &any, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

constexpr size_t kBlock = 64, kLast = 5;  // a position's test reads up to 5 bytes past it

// The first of the kBlock positions from `p` where MayBeginWord, or kBlock.
size_t FirstInBlock(const char* p) {
  for (size_t k = 0; k < kBlock; k += 16) {
    if (!MayBeginIn<16>(p + k)) continue;
    for (size_t i = k; i < k + 16; ++i) {
      if (MayBeginWord(p + i)) return i;
    }
  }
  return kBlock;
}

// The first position at or after `from` where MayBeginWord, or npos.
size_t NextCandidate(std::string_view page, size_t from) {
  const char* data = page.data();
  for (; from + kBlock + kLast <= page.size(); from += kBlock) {
    // Asked for well ahead: a page that is no longer in the cache arrives at the pace of a
    // plain copy (a hint only; past the end it costs nothing and reads nothing).
    __builtin_prefetch(data + from + 2048);
    if (!MayBeginIn<kBlock>(data + from)) continue;
    if (const size_t i = FirstInBlock(data + from); i < kBlock) return from + i;
  }
  // The last positions, from a copy with zeros after it: a zero begins no word and ends none.
  if (from >= page.size()) return npos;
  const size_t left = page.size() - from;  // less than kBlock + kLast
  char tail[2 * kBlock + kLast] = {};
  std::memcpy(tail, data + from, left);
  for (size_t k = 0; k < left; k += kBlock) {
    if (!MayBeginIn<kBlock>(tail + k)) continue;
    if (const size_t i = k + FirstInBlock(tail + k); i < left) return from + i;
  }
  return npos;
}

}  // namespace

std::string NewestStandDate(std::string_view page) {
  std::string newest;
  size_t next = 0;
  for (size_t hit; (hit = markers::Find(page, markers::kStand, next)) != npos;) {
    NoteStand(page, hit, &next, &newest);
  }
  return newest;
}

PageFacts ReadPageFacts(std::string_view page) {
  PageFacts facts;
  bool robots_word = false;
  size_t stand_from = 0;  // a stand line's further markers are not read again
  for (size_t p = 0; (p = NextCandidate(page, p)) != npos; ++p) {
    const std::string_view at = page.substr(p);
    if (at.starts_with(markers::kStand)) {
      if (p >= stand_from) NoteStand(page, p, &stand_from, &facts.newest_stand);
    } else if (!robots_word) {
      robots_word = EqualsNoCase(at.substr(0, 6), "robots");
    }
  }
  facts.noindex = robots_word && RobotsNoIndex(page);
  return facts;
}

}  // namespace splicery
