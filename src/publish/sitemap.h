// SPDX-License-Identifier: GPL-3.0-or-later
// The sitemap (sitemaps.org protocol 0.9) of the listed pages, as bytes: one file, or beyond the
// protocol's limits a sitemap index in the configured file and numbered parts beside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "text/web_text.h"

namespace splicery {

struct SitemapSettings {
  BaseUrl base;
  std::string file;                   // resolved path of the sitemap (or its index)
  std::vector<std::string> patterns;  // pages left out; "*" matches any run of bytes, "/" too
};

// The protocol's limits for one file.
struct SitemapLimits {
  size_t urls = 50000;
  size_t bytes = 52428800;
};

// One listed page, in include.txt order.
struct SitemapPage {
  std::string path;            // as listed
  std::optional<FileKey> key;  // the file it names, where known: two names of one file count once
  std::string lastmod;         // "YYYY-MM-DD", or empty
  bool noindex = false;        // its robots meta element keeps search engines out
};

struct SitemapFile {
  std::string path;  // resolved, relative to the site folder
  std::string bytes;

  bool operator==(const SitemapFile&) const = default;
};

// Whether `path` matches the pattern, "*" matching any run of bytes.
bool MatchesPattern(std::string_view pattern, std::string_view path);

// "<stem>-N.xml" beside the sitemap file `file`.
std::string SitemapPartName(std::string_view file, size_t number);

// Whether `bytes` begin as BuildSitemap begins a sitemap (a part's bytes included): a file
// of a part's name that does not is no part this program wrote.
bool IsBuiltSitemap(std::string_view bytes);

// The files to write: the sitemap alone, or the index first and then its parts. A page is
// listed once under its first name, with "." and ".." resolved; pages outside the site, left
// out by a pattern or by their robots meta element are not listed.
std::vector<SitemapFile> BuildSitemap(const SitemapSettings& settings,
                                      const std::vector<SitemapPage>& pages,
                                      const SitemapLimits& limits = {});

}  // namespace splicery
