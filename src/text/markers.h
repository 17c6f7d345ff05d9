// SPDX-License-Identifier: GPL-3.0-or-later
// The marker vocabulary of pages and include source. All are exact, case-sensitive substrings.
#pragma once

#include <string.h>

#include <string_view>

namespace splicery::markers {

inline constexpr std::string_view kIncludeLine = "<!-- INCLUDE";  // include.htm: an include line
inline constexpr std::string_view kKey = "<!-- INCLUDE ";         // page, in a block: a key line
inline constexpr std::string_view kStart = "<!-- INCLUDE START -->";
inline constexpr std::string_view kEnd = "<!-- INCLUDE END -->";
inline constexpr std::string_view kNews = "<!-- INCLUDE NEWS -->";
inline constexpr std::string_view kStand = "<!-- STAND START -->";
inline constexpr std::string_view kCommentEnd = "-->";
inline constexpr std::string_view kNoDate = "00.00.0000";
inline constexpr std::string_view kNewsDate = "<!-- NEWS DATE -->";
inline constexpr std::string_view kNewsName = "<!-- NEWS NAME -->";
inline constexpr std::string_view kNewsHref = "<!-- NEWS HREF -->";
inline constexpr std::string_view kEntrySeparator = "___";

// The position of the first `marker` at or after `from`, or npos. memmem is much faster than a
// first-character scan on HTML, where "<" is everywhere.
inline size_t Find(std::string_view text, std::string_view marker, size_t from = 0) {
  if (from > text.size()) return std::string_view::npos;
  const void* hit = ::memmem(text.data() + from, text.size() - from, marker.data(), marker.size());
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data())
             : std::string_view::npos;
}

inline bool Contains(std::string_view line, std::string_view marker) {
  return Find(line, marker) != std::string_view::npos;
}

}  // namespace splicery::markers
