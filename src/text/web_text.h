// SPDX-License-Identifier: GPL-3.0-or-later
// The small pieces that turn a site's paths, dates and titles into the text of the feed and the
// sitemap: path resolution, percent-encoding, XML escaping, tag ids and calendar dates. Pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace splicery {

// A base URL as splicery.ini gives it: "http(s)://host[:port]/path/".
struct BaseUrl {
  std::string url;   // as given, ending in "/"
  std::string host;  // lower case, without user, port or brackets
  std::string path;  // from the first "/" after the host on, ending in "/"
};

// Only an absolute http or https URL with a host, ending in "/", without query or fragment and
// of characters a URL may hold as they stand; none otherwise.
std::optional<BaseUrl> ParseBaseUrl(std::string_view url);

// Appends the code point `cp` to `out` as UTF-8.
void AppendUtf8(uint32_t cp, std::string& out);
// The character a windows-1252 byte stands for, as browsers read it (the five bytes without a
// character stand for the C1 control of the same number).
uint32_t FromWindows1252(unsigned char c);

// A relative file path with "." and ".." resolved and doubled "/" merged; none for an absolute
// path, one that climbs out of the folder, or one that names no file ("", ".", "a/").
std::optional<std::string> ResolvePath(std::string_view path);

// Every byte outside RFC 3986's unreserved characters and "/" as %XX.
std::string PercentEncodePath(std::string_view path);

// & < > " ' as references, so the text fits in an element and in an attribute.
std::string XmlEscape(std::string_view text);

// How a page's bytes are to be read. kUnknown: UTF-8 where valid, else windows-1252 (until a
// page's encoding is known from its own declaration).
enum class PageEncoding { kUnknown, kUtf8, kWindows1252 };

// The bytes as UTF-8, with characters XML 1.0 forbids (and bytes that are no UTF-8 where UTF-8
// is declared) replaced by U+FFFD.
std::string DecodeToXmlText(std::string_view bytes, PageEncoding encoding);

// A stand date "DD.MM.YYYY" as "YYYY-MM-DD" when it is a real calendar date with two-digit day
// and month; none otherwise ("00.00.0000", "31.02.2026", "1.3.2026").
std::optional<std::string> IsoDate(std::string_view stand_date);

// The RFC 4151 tag "tag:HOST,DATE:PATH" of a page's entry; `iso_date` is "YYYY-MM-DD" and
// `page` a resolved path.
std::string TagId(const BaseUrl& base, std::string_view iso_date, std::string_view page);

// The URL of a resolved path below the base URL.
inline std::string UrlOf(const BaseUrl& base, std::string_view path) {
  return base.url + PercentEncodePath(path);
}

}  // namespace splicery
