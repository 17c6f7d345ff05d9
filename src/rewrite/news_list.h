// SPDX-License-Identifier: GPL-3.0-or-later
// News lines: every news entry (newest first) filled into every news template.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sorted_list.h"
#include "text/lines.h"
#include "text/news_entry.h"

namespace splicery {

// A template's text (page null) or a news title (page: the page it came from) as it goes into
// the page being rewritten, before the placeholders are filled.
using PieceConverter = std::function<std::string(std::string_view text, const std::string* page)>;

// The news lines for a news block, entry-major: the last entry of the index first, and within
// an entry the templates in include-source order. Appended to `out`, one line each; a list of
// lines in one buffer, as there are as many lines as entries times templates. Without
// `convert` every piece goes in as it is; a NEWS HREF always does.
void BuildNewsLines(const SortedList& news_index, const std::vector<std::string>& include_lines,
                    LineBuffer& out, const PieceConverter& convert = nullptr);

}  // namespace splicery
