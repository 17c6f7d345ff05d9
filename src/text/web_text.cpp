// SPDX-License-Identifier: GPL-3.0-or-later
// Paths, URLs, XML text and dates for the feed and the sitemap.
#include "text/web_text.h"

#include <vector>

#include "text/display_text.h"

namespace splicery {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUnreserved(char c) {
  return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// RFC 3986: unreserved, sub-delims, ":", "@", "/", "%" (query and fragment are refused).
bool IsUrlChar(char c) {
  return IsUnreserved(c) || std::string_view("!$&'()*+,;=:@/%[]").find(c) != std::string_view::npos;
}

constexpr uint32_t kReplacement = 0xFFFD;

bool XmlAllows(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendXmlChar(uint32_t cp, std::string& out) {
  AppendUtf8(XmlAllows(cp) ? cp : kReplacement, out);
}

// Decodes UTF-8 that may be invalid: each byte that starts no valid sequence becomes U+FFFD.
void DecodeUtf8(std::string_view bytes, std::string& out) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t len = c < 0x80                 ? 1
                 : c >= 0xC2 && c <= 0xDF ? 2
                 : c >= 0xE0 && c <= 0xEF ? 3
                 : c >= 0xF0 && c <= 0xF4 ? 4
                                          : 0;
    if (len == 0 || i + len > bytes.size() || !IsValidUtf8(bytes.substr(i, len))) {
      AppendUtf8(kReplacement, out);
      ++i;
      continue;
    }
    uint32_t cp = len == 1 ? c : c & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    AppendXmlChar(cp, out);
    i += len;
  }
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

void AppendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// windows-1252's 0x80-0x9F as the WHATWG Encoding Standard maps them; the five bytes without a
// character map to the C1 control of the same number.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t FromWindows1252(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

std::optional<BaseUrl> ParseBaseUrl(std::string_view url) {
  std::string lower;
  for (char c : url.substr(0, 8)) lower += Lower(c);
  size_t scheme_end;
  if (lower.starts_with("http://")) {
    scheme_end = 7;
  } else if (lower.starts_with("https://")) {
    scheme_end = 8;
  } else {
    return std::nullopt;
  }
  if (!url.ends_with('/')) return std::nullopt;
  for (char c : url) {
    if (!IsUrlChar(c)) return std::nullopt;
  }
  const size_t path_start = url.find('/', scheme_end);
  std::string_view authority = url.substr(scheme_end, path_start - scheme_end);
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    for (char c : port) {
      if (!IsDigit(c)) return std::nullopt;
    }
    authority = authority.substr(0, colon);
  }
  // A tag id names its authority by a DNS name, so the host is one.
  if (authority.empty() || authority.front() == '.' || authority.back() == '.' ||
      authority.front() == '-') {
    return std::nullopt;
  }
  BaseUrl base{std::string(url), {}, std::string(url.substr(path_start))};
  for (char c : authority) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '-' && c != '.') return std::nullopt;
    base.host += Lower(c);
  }
  return base;
}

std::optional<std::string> ResolvePath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.back() == '/') return std::nullopt;
  // Most paths have nothing to resolve: no part is empty or begins with ".".
  if (path.front() != '.' && path.find("/.") == std::string_view::npos &&
      path.find("//") == std::string_view::npos) {
    return std::string(path);
  }
  std::vector<std::string_view> parts;
  size_t from = 0;
  while (from <= path.size()) {
    size_t slash = path.find('/', from);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view part = path.substr(from, slash - from);
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  const std::string_view last = path.substr(path.rfind('/') + 1);
  if (parts.empty() || last == "." || last == "..") return std::nullopt;
  std::string resolved;
  for (std::string_view part : parts) {
    if (!resolved.empty()) resolved += '/';
    resolved.append(part);
  }
  return resolved;
}

std::string PercentEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (IsUnreserved(c) || c == '/') {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string DecodeToXmlText(std::string_view bytes, PageEncoding encoding) {
  if (encoding == PageEncoding::kUnknown) {
    encoding = IsValidUtf8(bytes) ? PageEncoding::kUtf8 : PageEncoding::kWindows1252;
  }
  std::string out;
  out.reserve(bytes.size());
  if (encoding == PageEncoding::kUtf8) {
    DecodeUtf8(bytes, out);
    return out;
  }
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    AppendXmlChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b, out);
  }
  return out;
}

std::optional<std::string> IsoDate(std::string_view date) {
  if (date.size() != 10 || date[2] != '.' || date[5] != '.') return std::nullopt;
  for (size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
    if (!IsDigit(date[i])) return std::nullopt;
  }
  const auto number = [&](size_t at, size_t len) {
    int n = 0;
    for (size_t i = at; i < at + len; ++i) n = n * 10 + (date[i] - '0');
    return n;
  };
  const int day = number(0, 2), month = number(3, 2), year = number(6, 4);
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year == 0 || month < 1 || month > 12 || day < 1) return std::nullopt;
  if (day > kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0)) return std::nullopt;
  std::string iso;
  iso.append(date.substr(6, 4)).append("-").append(date.substr(3, 2)).append("-");
  iso.append(date.substr(0, 2));
  return iso;
}

std::string TagId(const BaseUrl& base, std::string_view iso_date, std::string_view page) {
  std::string id = "tag:" + base.host + ",";
  id.append(iso_date).append(":").append(base.path).append(PercentEncodePath(page));
  return id;
}

}  // namespace splicery
