// SPDX-License-Identifier: GPL-3.0-or-later
// News entry text: build and split.
#include "text/news_entry.h"

#include "text/markers.h"

namespace splicery {
namespace {

constexpr std::string_view kSeparator = markers::kEntrySeparator;

// Appends "c.b.a" for "a.b.c" (split at the first two dots); false for fewer than two dots.
bool AppendSwapped(std::string_view date, std::string& out) {
  const size_t d1 = date.find('.');
  if (d1 == std::string_view::npos) return false;
  const size_t d2 = date.find('.', d1 + 1);
  if (d2 == std::string_view::npos) return false;
  out.append(date.substr(d2 + 1)).append(".");
  out.append(date.substr(d1 + 1, d2 - d1 - 1)).append(".");
  out.append(date.substr(0, d1));
  return true;
}

}  // namespace

std::optional<std::string> MakeNewsEntry(std::string_view date, std::string_view page,
                                         std::string_view title) {
  std::string entry;
  entry.reserve(date.size() + page.size() + title.size() + 2 * kSeparator.size());
  if (!AppendSwapped(date, entry)) return std::nullopt;
  entry.append(kSeparator).append(page).append(kSeparator).append(title);
  return entry;
}

std::optional<NewsPieces> SplitNewsEntry(std::string_view entry) {
  const size_t s1 = entry.find(kSeparator);
  if (s1 == std::string_view::npos) return std::nullopt;
  const size_t s2 = entry.find(kSeparator, s1 + kSeparator.size());
  if (s2 == std::string_view::npos) return std::nullopt;
  NewsPieces pieces;
  if (!AppendSwapped(entry.substr(0, s1), pieces.display_date)) return std::nullopt;
  pieces.page = entry.substr(s1 + kSeparator.size(), s2 - s1 - kSeparator.size());
  pieces.title = entry.substr(s2 + kSeparator.size());
  return pieces;
}

}  // namespace splicery
