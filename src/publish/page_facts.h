// SPDX-License-Identifier: GPL-3.0-or-later
// What the sitemap needs to know of one page's bytes: whether it asks search engines to keep
// out, and the date of its newest stand line.
#pragma once

#include <string>
#include <string_view>

namespace splicery {

// Whether a <meta name="robots"> element's content holds "noindex" or "none" (any case). Tags
// are read as HTML's tokenizer reads them: attributes quoted or not, in any order; comments and
// the text of script and style elements are skipped.
bool RobotsNoIndex(std::string_view page);

// The newest real calendar date among the page's stand lines as "YYYY-MM-DD"; empty for none.
std::string NewestStandDate(std::string_view page);

struct PageFacts {
  std::string newest_stand;  // as NewestStandDate gives it
  bool noindex = false;      // as RobotsNoIndex gives it
};

// Both facts from one pass over the bytes; the tag walk only runs for a page that holds the
// word "robots" in some letter case, which its robots meta element needs.
PageFacts ReadPageFacts(std::string_view page);

}  // namespace splicery
