// SPDX-License-Identifier: GPL-3.0-or-later
// Sitemap building and splitting.
#include "publish/sitemap.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

namespace splicery {
namespace {

constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr std::string_view kUrlsetOpen =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view kUrlsetClose = "</urlset>\n";
constexpr std::string_view kIndexOpen =
    "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view kIndexClose = "</sitemapindex>\n";

// The url element of a page into *out (cleared first). `base` is the base URL XML-escaped: a
// percent-encoded path holds no character XML escapes, so the escaped URL is the two side by
// side.
void UrlElement(std::string_view base, std::string_view path, const std::string& lastmod,
                std::string* out) {
  out->assign("  <url>\n    <loc>").append(base).append(PercentEncodePath(path));
  out->append("</loc>\n");
  if (!lastmod.empty()) out->append("    <lastmod>").append(lastmod).append("</lastmod>\n");
  out->append("  </url>\n");
}

struct Part {
  std::string bytes = std::string(kHead).append(kUrlsetOpen);  // the file but for its close
  size_t urls = 0;
  std::string lastmod;  // the newest of its pages
};

// Two names of one file count once; a site has many pages, so no ordered set.
struct FileKeyHash {
  size_t operator()(const FileKey& key) const noexcept {
    return std::hash<uint64_t>()(key.inode * 0x9E3779B97F4A7C15u ^ key.device);
  }
};

// The sitemap index of the parts, which lie beside `settings.file`.
std::string SitemapIndex(const SitemapSettings& settings, const std::vector<Part>& parts) {
  std::string index;
  index.append(kHead).append(kIndexOpen);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string name = SitemapPartName(settings.file, i + 1);
    index += "  <sitemap>\n    <loc>" + XmlEscape(UrlOf(settings.base, name)) + "</loc>\n";
    if (!parts[i].lastmod.empty()) index += "    <lastmod>" + parts[i].lastmod + "</lastmod>\n";
    index += "  </sitemap>\n";
  }
  index.append(kIndexClose);
  return index;
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view path) {
  // Greedy with backtracking to the last "*": linear for patterns of few stars.
  size_t p = 0, s = 0, star = std::string_view::npos, mark = 0;
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = s;
    } else if (p < pattern.size() && pattern[p] == path[s]) {
      ++p;
      ++s;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      s = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string SitemapPartName(std::string_view file, size_t number) {
  const size_t slash = file.rfind('/');
  const size_t dot = file.rfind('.');
  const bool has_ext =
      dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash + 1);
  return std::string(file.substr(0, has_ext ? dot : file.size())) + "-" + std::to_string(number) +
         ".xml";
}

bool IsBuiltSitemap(std::string_view bytes) {
  return bytes.starts_with(kHead) && bytes.substr(kHead.size()).starts_with(kUrlsetOpen);
}

std::vector<SitemapFile> BuildSitemap(const SitemapSettings& settings,
                                      const std::vector<SitemapPage>& pages,
                                      const SitemapLimits& limits) {
  std::vector<Part> parts(1);
  parts.back().bytes.reserve(std::min(pages.size() * 100, limits.bytes));  // touched as it grows
  // Views of each page's name: its own where resolving changes nothing, else one kept here.
  std::unordered_set<std::string_view> names;
  names.reserve(pages.size());
  std::deque<std::string> resolved;
  std::unordered_set<FileKey, FileKeyHash> files;
  files.reserve(pages.size());
  const std::string base = XmlEscape(settings.base.url);
  std::string element;  // one buffer for every page's element
  for (const SitemapPage& page : pages) {
    std::optional<std::string> resolving = ResolvePath(page.path);
    if (!resolving) continue;
    const std::string_view path =
        *resolving == page.path ? page.path : resolved.emplace_back(std::move(*resolving));
    if (!names.insert(path).second) continue;
    if (page.key && !files.insert(*page.key).second) continue;
    if (page.noindex) continue;
    bool left_out = false;
    for (const std::string& pattern : settings.patterns) left_out |= MatchesPattern(pattern, path);
    if (left_out) continue;
    UrlElement(base, path, page.lastmod, &element);
    Part* part = &parts.back();
    if (part->urls > 0 &&
        (part->urls + 1 > limits.urls ||
         part->bytes.size() + element.size() + kUrlsetClose.size() > limits.bytes)) {
      part = &parts.emplace_back();
    }
    part->bytes += element;
    ++part->urls;
    if (page.lastmod > part->lastmod) part->lastmod = page.lastmod;
  }

  std::vector<SitemapFile> files_out;
  if (parts.size() > 1) files_out.push_back({settings.file, SitemapIndex(settings, parts)});
  for (size_t i = 0; i < parts.size(); ++i) {
    parts[i].bytes.append(kUrlsetClose);
    files_out.push_back({parts.size() == 1 ? settings.file : SitemapPartName(settings.file, i + 1),
                         std::move(parts[i].bytes)});
  }
  return files_out;
}

}  // namespace splicery
