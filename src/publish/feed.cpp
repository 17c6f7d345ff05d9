// SPDX-License-Identifier: GPL-3.0-or-later
// Atom feed building.
#include "publish/feed.h"

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

#include "text/news_entry.h"

namespace splicery {
namespace {

struct Entry {
  std::string key;  // the news index's text of the entry, which orders it
  std::string iso_date, page;
  const NewsItem* item;
};

}  // namespace

std::optional<std::string> BuildFeed(const FeedSettings& settings,
                                     const std::vector<NewsItem>& items) {
  std::vector<Entry> entries;
  entries.reserve(items.size());
  for (const NewsItem& item : items) {
    std::optional<std::string> iso = IsoDate(item.date);
    std::optional<std::string> page = ResolvePath(item.page);
    std::optional<std::string> key = MakeNewsEntry(item.date, item.page, item.title);
    if (!iso || !page || !key) continue;
    entries.push_back({std::move(*key), std::move(*iso), std::move(*page), &item});
  }
  // The index's order: by the bytes of its entry texts, equal ones in the order found.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });
  std::set<std::pair<std::string_view, std::string_view>> seen;
  std::vector<const Entry*> shown;
  for (const Entry& entry : entries) {
    if (seen.emplace(entry.iso_date, entry.page).second) shown.push_back(&entry);
  }
  if (shown.empty()) return std::nullopt;
  std::reverse(shown.begin(), shown.end());  // newest first, as the news list shows them
  if (shown.size() > settings.entries) shown.resize(settings.entries);

  const std::string feed_url = XmlEscape(UrlOf(settings.base, settings.file));
  std::string out;
  out.reserve(512 + shown.size() * 400);
  out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  out += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
  out += "  <id>" + feed_url + "</id>\n";
  out +=
      "  <title>" + XmlEscape(DecodeToXmlText(settings.title, PageEncoding::kUtf8)) + "</title>\n";
  out += "  <author><name>" + XmlEscape(DecodeToXmlText(settings.author, PageEncoding::kUtf8)) +
         "</name></author>\n";
  out += "  <link rel=\"self\" href=\"" + feed_url + "\"/>\n";
  out += "  <link rel=\"alternate\" href=\"" + XmlEscape(settings.base.url) + "\"/>\n";
  out += "  <updated>" + shown.front()->iso_date + "T00:00:00Z</updated>\n";
  for (const Entry* entry : shown) {
    out += "  <entry>\n";
    out += "    <id>" + XmlEscape(TagId(settings.base, entry->iso_date, entry->page)) + "</id>\n";
    // The blanks between the title and the comment's end are the stand line's, not the title's.
    std::string_view title = entry->item->title;
    while (!title.empty() && (title.front() == ' ' || title.front() == '\t'))
      title.remove_prefix(1);
    while (!title.empty() && (title.back() == ' ' || title.back() == '\t')) title.remove_suffix(1);
    out += "    <title type=\"html\">" + XmlEscape(DecodeToXmlText(title, entry->item->encoding)) +
           "</title>\n";
    out += "    <link rel=\"alternate\" href=\"" + XmlEscape(UrlOf(settings.base, entry->page)) +
           "\"/>\n";
    out += "    <updated>" + entry->iso_date + "T00:00:00Z</updated>\n";
    out += "  </entry>\n";
  }
  out += "</feed>\n";
  return out;
}

std::vector<NewsStand> NewestStands(const std::vector<NewsStand>& stands, size_t entries) {
  std::vector<std::pair<std::string, size_t>> shown;  // ISO date and index of each it may show
  for (size_t i = 0; i < stands.size(); ++i) {
    std::optional<std::string> iso = IsoDate(stands[i].date);
    if (iso && ResolvePath(stands[i].page)) shown.emplace_back(std::move(*iso), i);
  }
  if (entries == 0 || shown.size() <= entries) return stands;
  // The feed's entries are the last pairs in the order of the index, which sorts by date
  // first: a stand older than `entries` others with their own pairs cannot be among them.
  std::vector<std::string_view> dates;
  dates.reserve(shown.size());
  for (const auto& [date, i] : shown) dates.push_back(date);
  std::nth_element(dates.begin(), dates.begin() + static_cast<ptrdiff_t>(entries - 1), dates.end(),
                   std::greater<>());
  const std::string cutoff(dates[entries - 1]);
  std::set<std::pair<std::string, std::string>> pairs;
  std::vector<NewsStand> newest;
  for (const auto& [date, i] : shown) {
    if (date < cutoff) continue;
    pairs.emplace(date, *ResolvePath(stands[i].page));
    newest.push_back(stands[i]);
  }
  // Where one page has several stands of a date, the newest may hold fewer pairs.
  return pairs.size() >= entries ? newest : stands;
}

}  // namespace splicery
