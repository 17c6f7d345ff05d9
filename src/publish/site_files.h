// SPDX-License-Identifier: GPL-3.0-or-later
// From splicery.ini and what the run saw of the pages to the bytes of the feed, the sitemap and
// its parts: the glue between the configuration, the news index and the two builders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "publish/feed.h"
#include "publish/sitemap.h"
#include "scan/site_config.h"
#include "text/encoding.h"
#include "text/news_entry.h"

namespace splicery {

FeedSettings FeedSettingsOf(const SiteConfig& config);
SitemapSettings SitemapSettingsOf(const SiteConfig& config);
// Each title to be read in its page's encoding as `encodings` (the scan's) holds it; a page
// without a declaration's, or without `encodings`: UTF-8 where valid, else windows-1252.
std::vector<NewsItem> ToNewsItems(const std::vector<NewsStand>& stands,
                                  const SourceEncodings* encodings = nullptr);

// Whether robots.txt has a "Sitemap:" line (any case, blanks before it allowed).
bool NamesSitemap(std::string_view robots_txt);

// The sitemap's facts of one page as the run leaves it.
SitemapPage SitemapPageOf(const std::string& path, const FileKey* key, std::string_view bytes);

// Every file the configuration asks for, with its new bytes: the feed (when there is an entry
// to show), then the sitemap or its index and parts.
std::vector<SitemapFile> BuildSiteFiles(const SiteConfig& config,
                                        const std::vector<NewsStand>& stands,
                                        const std::vector<SitemapPage>& pages,
                                        const SourceEncodings* encodings = nullptr);

}  // namespace splicery
