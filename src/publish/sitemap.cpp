// SPDX-License-Identifier: GPL-3.0-or-later
// Sitemap building and splitting.
#include "publish/sitemap.h"

#include <set>

namespace splicery {
namespace {

constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr std::string_view kUrlsetOpen =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view kUrlsetClose = "</urlset>\n";
constexpr std::string_view kIndexOpen =
    "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view kIndexClose = "</sitemapindex>\n";

std::string UrlElement(const SitemapSettings& settings, const std::string& path,
                       const std::string& lastmod) {
  std::string out = "  <url>\n    <loc>" + XmlEscape(UrlOf(settings.base, path)) + "</loc>\n";
  if (!lastmod.empty()) out += "    <lastmod>" + lastmod + "</lastmod>\n";
  out += "  </url>\n";
  return out;
}

struct Part {
  std::string body;
  size_t urls = 0;
  std::string lastmod;  // the newest of its pages
};

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
  const size_t frame = kHead.size() + kUrlsetOpen.size() + kUrlsetClose.size();
  std::vector<Part> parts(1);
  std::set<std::string> names;
  std::set<FileKey> files;
  for (const SitemapPage& page : pages) {
    std::optional<std::string> path = ResolvePath(page.path);
    if (!path || !names.insert(*path).second) continue;
    if (page.key && !files.insert(*page.key).second) continue;
    if (page.noindex) continue;
    bool left_out = false;
    for (const std::string& pattern : settings.patterns) left_out |= MatchesPattern(pattern, *path);
    if (left_out) continue;
    std::string element = UrlElement(settings, *path, page.lastmod);
    Part* part = &parts.back();
    if (part->urls > 0 && (part->urls + 1 > limits.urls ||
                           frame + part->body.size() + element.size() > limits.bytes)) {
      part = &parts.emplace_back();
    }
    part->body += element;
    ++part->urls;
    if (page.lastmod > part->lastmod) part->lastmod = page.lastmod;
  }

  std::vector<SitemapFile> files_out;
  const auto urlset = [](const Part& part) {
    std::string bytes;
    bytes.reserve(part.body.size() + 200);
    bytes.append(kHead).append(kUrlsetOpen).append(part.body).append(kUrlsetClose);
    return bytes;
  };
  if (parts.size() == 1) {
    files_out.push_back({settings.file, urlset(parts.front())});
    return files_out;
  }
  std::string index;
  index.append(kHead).append(kIndexOpen);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string name = SitemapPartName(settings.file, i + 1);
    index += "  <sitemap>\n    <loc>" + XmlEscape(UrlOf(settings.base, name)) + "</loc>\n";
    if (!parts[i].lastmod.empty()) index += "    <lastmod>" + parts[i].lastmod + "</lastmod>\n";
    index += "  </sitemap>\n";
  }
  index.append(kIndexClose);
  files_out.push_back({settings.file, std::move(index)});
  for (size_t i = 0; i < parts.size(); ++i) {
    files_out.push_back({SitemapPartName(settings.file, i + 1), urlset(parts[i])});
  }
  return files_out;
}

}  // namespace splicery
