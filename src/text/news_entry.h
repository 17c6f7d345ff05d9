// SPDX-License-Identifier: GPL-3.0-or-later
// The news entry text "yyyy.mm.dd___page___title": built by the start-up scan from a page's
// stand line, taken apart by the news list. Both halves live here so they cannot drift apart.
// Both swap the date's outer parts around its first two dots, so that entries sort by year
// first and show day first; a date with more dots is split at the first two only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace splicery {

// The entry for a stand line's date ("dd.mm.yyyy"), page and title; none when the date holds
// fewer than two dots.
std::optional<std::string> MakeNewsEntry(std::string_view date, std::string_view page,
                                         std::string_view title);

// One entry of the news index as the scan found it: the stand line's date and title, and the
// page as listed.
struct NewsStand {
  std::string date, page, title;
};

struct NewsPieces {
  std::string display_date;  // day.month.year
  std::string_view page;
  std::string_view title;
};

// Splits an entry; none when its date holds fewer than two dots or a separator is missing.
// A page path holding "___" splits at the first two separators.
std::optional<NewsPieces> SplitNewsEntry(std::string_view entry);

}  // namespace splicery
