// SPDX-License-Identifier: GPL-3.0-or-later
// News lines: every news entry (newest first) filled into every news template.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sorted_list.h"
#include "text/lines.h"
#include "text/news_entry.h"

namespace splicery {

// Replaces every occurrence of `placeholder` that `text` holds, never searching a value it
// inserted itself.
std::string ReplaceAll(std::string_view text, std::string_view placeholder, std::string_view value);

// The news lines for a news block, entry-major: the last entry of the index first, and within
// an entry the templates in include-source order. Appended to `out`, one line each; a list of
// lines in one buffer, as there are as many lines as entries times templates.
void BuildNewsLines(const SortedList& news_index, const std::vector<std::string>& include_lines,
                    LineBuffer& out);

}  // namespace splicery
