// SPDX-License-Identifier: GPL-3.0-or-later
// Feed and sitemap files from the configuration.
#include "publish/site_files.h"

#include "publish/page_facts.h"
#include "text/convert.h"
#include "text/lines.h"

namespace splicery {

FeedSettings FeedSettingsOf(const SiteConfig& config) {
  return {config.base.value_or(BaseUrl{}), config.feed ? config.feed->file : std::string(),
          config.title, config.author, config.feed_entries};
}

SitemapSettings SitemapSettingsOf(const SiteConfig& config) {
  return {config.base.value_or(BaseUrl{}), config.sitemap ? config.sitemap->file : std::string(),
          config.omit};
}

namespace {

// A title in its page's declared encoding: one other than UTF-8 and windows-1252 is read into
// UTF-8 here.
NewsItem ItemOf(const NewsStand& s, const SourceEncodings* encodings) {
  NewsItem item{s.date, s.page, s.title, PageEncoding::kUnknown};
  if (!encodings) return item;
  const auto page = encodings->pages.find(s.page);
  if (page == encodings->pages.end() || !page->second.Known()) return item;
  const std::string_view name = page->second.name;
  if (name == "UTF-8") {
    item.encoding = PageEncoding::kUtf8;
  } else if (name == "windows-1252") {
    item.encoding = PageEncoding::kWindows1252;
  } else if (std::string utf8; DecodeToUtf8(s.title, name, &utf8)) {
    item.title = std::move(utf8);
    item.encoding = PageEncoding::kUtf8;
  }
  return item;
}

}  // namespace

std::vector<NewsItem> ToNewsItems(const std::vector<NewsStand>& stands,
                                  const SourceEncodings* encodings) {
  std::vector<NewsItem> items;
  items.reserve(stands.size());
  for (const NewsStand& s : stands) items.push_back(ItemOf(s, encodings));
  return items;
}

bool NamesSitemap(std::string_view robots_txt) {
  for (LineCursor cursor(robots_txt); !cursor.AtEnd();) {
    std::string_view line = cursor.Next().text;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.size() < 8) continue;
    std::string head;
    for (char c : line.substr(0, 8)) head += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (head == "sitemap:") return true;
  }
  return false;
}

SitemapPage SitemapPageOf(const std::string& path, const FileKey* key, std::string_view bytes) {
  PageFacts facts = ReadPageFacts(bytes);
  SitemapPage page{path, std::nullopt, std::move(facts.newest_stand), facts.noindex};
  if (key) page.key = *key;
  return page;
}

std::vector<SitemapFile> BuildSiteFiles(const SiteConfig& config,
                                        const std::vector<NewsStand>& stands,
                                        const std::vector<SitemapPage>& pages,
                                        const SourceEncodings* encodings) {
  std::vector<SitemapFile> files;
  if (!config.base) return files;
  if (config.feed) {
    if (std::optional<std::string> feed =
            BuildFeed(FeedSettingsOf(config),
                      ToNewsItems(NewestStands(stands, config.feed_entries), encodings))) {
      files.push_back({config.feed->file, std::move(*feed)});
    }
  }
  if (config.sitemap) {
    for (SitemapFile& file : BuildSitemap(SitemapSettingsOf(config), pages)) {
      files.push_back(std::move(file));
    }
  }
  return files;
}

}  // namespace splicery
