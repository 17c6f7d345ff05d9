// News lines: every news entry (newest first) filled into every news template.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/sorted_list.h"
#include "files/lines.h"

namespace splicery {

struct NewsPieces {
  std::string display_date;  // day.month.year
  std::string_view page;
  std::string_view title;
};

// Splits "yyyy.mm.dd___page___title"; none when the date part holds fewer than two dots or
// a separator is missing.
std::optional<NewsPieces> SplitNewsEntry(std::string_view entry);

// Replaces every occurrence of `placeholder` that `text` holds, never searching a value it
// inserted itself.
std::string ReplaceAll(std::string_view text, std::string_view placeholder,
                       std::string_view value);

// The news lines for a news block, entry-major: the last entry of the index first, and within
// an entry the templates in include-source order. Appended to `out`, one line each; a list of
// lines in one buffer, as there are as many lines as entries times templates.
void BuildNewsLines(const SortedList& news_index, const std::vector<std::string>& include_lines,
                    LineBuffer& out);

}  // namespace splicery
