// SPDX-License-Identifier: GPL-3.0-or-later
// Fragment lookup with a per-run cache, and the ordering of fragments across key lines.
#include "rewrite/block_rewriter.h"

#include <algorithm>

#include "rewrite/news_list.h"

namespace splicery {

BlockRewriter::BlockRewriter(const std::vector<std::string>& include_lines,
                             const SortedList& news_index)
    : include_lines_(include_lines), news_index_(news_index) {}

const std::vector<BlockRewriter::Fragment>& BlockRewriter::FragmentsOf(const std::string& key) {
  auto [it, inserted] = fragments_.try_emplace(key);
  if (inserted) {
    for (size_t i = 0; i < include_lines_.size(); ++i) {
      std::string_view line = include_lines_[i];
      size_t at = line.find(key);
      if (at != std::string_view::npos) it->second.push_back({i, line.substr(at + key.size())});
    }
  }
  return it->second;
}

void BlockRewriter::Substitute(const std::vector<std::string>& keys,
                               std::vector<std::string_view>& out) {
  if (keys.size() == 1) {
    for (const Fragment& f : FragmentsOf(keys[0])) out.push_back(f.text);
    return;
  }
  // Include line outer, key line inner: gather per key (in key order), then a stable sort by
  // include line keeps the key order within one include line.
  std::vector<Fragment> all;
  for (const std::string& key : keys) {
    const std::vector<Fragment>& fragments = FragmentsOf(key);
    all.insert(all.end(), fragments.begin(), fragments.end());
  }
  std::stable_sort(all.begin(), all.end(), [](const Fragment& a, const Fragment& b) {
    return a.include_index < b.include_index;
  });
  for (const Fragment& f : all) out.push_back(f.text);
}

const LineBuffer& BlockRewriter::NewsLines() {
  if (!news_lines_) {
    news_lines_ = std::make_unique<LineBuffer>();
    BuildNewsLines(news_index_, include_lines_, *news_lines_);
  }
  return *news_lines_;
}

}  // namespace splicery
