// SPDX-License-Identifier: GPL-3.0-or-later
// The Atom 1.0 feed (RFC 4287) of the news index, as bytes. Everything in it comes from the
// pages, never from the clock, so a run that changes no news builds the same bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text/news_entry.h"
#include "text/web_text.h"

namespace splicery {

struct FeedSettings {
  BaseUrl base;
  std::string file;  // resolved path of the feed in the site folder
  std::string title, author;
  size_t entries = 20;
};

// One news entry as the scan found it: a stand line's date ("DD.MM.YYYY"), page and title
// bytes, and how the page's bytes are to be read.
struct NewsItem {
  std::string date, page, title;
  PageEncoding encoding = PageEncoding::kUnknown;
};

// The feed for news items in any order: the ones with a real calendar date and a page inside
// the site, newest first in the order of the news index, one per page and date (the first in
// index order), at most settings.entries. None when no entry is left.
std::optional<std::string> BuildFeed(const FeedSettings& settings,
                                     const std::vector<NewsItem>& items);

// Of the scan's stands, in their order, the ones a feed of at most `entries` can show: those
// of the newest dates that hold `entries` pairs of page and date (all of them where there is
// no such cut-off). The feed of these is the feed of all, so the rest need no reading.
std::vector<NewsStand> NewestStands(const std::vector<NewsStand>& stands, size_t entries);

}  // namespace splicery
