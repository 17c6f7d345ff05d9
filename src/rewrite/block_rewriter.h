// SPDX-License-Identifier: GPL-3.0-or-later
// The generated lines of one include block. Include lines and news index do not change during
// an update run, so the fragments of a key line and the news lines are worked out once per run
// and reused for every block of every page.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/sorted_list.h"
#include "text/lines.h"

namespace splicery {

class BlockRewriter {
 public:
  // Both lists must outlive the rewriter and stay unchanged while it is used.
  BlockRewriter(const std::vector<std::string>& include_lines, const SortedList& news_index);

  // Appends to `out` what an ordinary block with these key lines generates: for each include
  // line in order, for each key line in order, the text behind the key line's first occurrence.
  void Substitute(const std::vector<std::string>& keys, std::vector<std::string_view>& out);

  // The news lines, the same for every news block of the run.
  const LineBuffer& NewsLines();

  struct Fragment {
    size_t include_index;
    std::string_view text;
  };
  // What one key line selects: every include line holding it, with the text behind it.
  const std::vector<Fragment>& FragmentsOf(const std::string& key);

 private:
  const std::vector<std::string>& include_lines_;
  const SortedList& news_index_;
  std::unordered_map<std::string, std::vector<Fragment>> fragments_;
  std::unique_ptr<LineBuffer> news_lines_;
};

}  // namespace splicery
