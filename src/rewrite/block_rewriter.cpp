// SPDX-License-Identifier: GPL-3.0-or-later
// Fragment lookup with a per-run cache, and the ordering of fragments across key lines.
#include "rewrite/block_rewriter.h"

#include <algorithm>

#include "rewrite/news_list.h"
#include "text/convert.h"

namespace splicery {

BlockRewriter::BlockRewriter(const std::vector<std::string>& include_lines,
                             const SortedList& news_index, const SourceEncodings* sources)
    : include_lines_(include_lines), news_index_(news_index), sources_(sources) {}

BlockRewriter BlockRewriter::ForAnotherThread() const {
  BlockRewriter twin(include_lines_, news_index_, sources_);
  twin.news_ = news_;
  return twin;
}

void BlockRewriter::UsePage(const FileEncoding& page) {
  converted_include_ = false;
  const bool declared = page.basis == EncodingBasis::kBom || page.basis == EncodingBasis::kDeclared;
  target_ = sources_ && declared && page.Known() ? page.name : std::string_view();
}

std::string_view BlockRewriter::Piece(std::string_view text, const FileEncoding& from) {
  if (target_.empty() || !from.Known() || from.name == target_ || IsAscii(text)) return text;
  auto [it, inserted] = converted_.try_emplace({target_.data(), text.data()});
  if (inserted && !Convert(text, from.name, target_, &it->second)) it->second = text;
  return it->second;
}

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
  const auto add = [&](std::string_view text) {
    if (!sources_) {
      out.push_back(text);
      return;
    }
    const std::string_view piece = Piece(text, sources_->include_source);
    converted_include_ = converted_include_ || piece.data() != text.data();
    out.push_back(piece);
  };
  if (keys.size() == 1) {
    for (const Fragment& f : FragmentsOf(keys[0])) add(f.text);
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
  for (const Fragment& f : all) add(f.text);
}

const LineBuffer& BlockRewriter::NewsLines() {
  // Entries are never removed, so the lines stay where they are once the lock is given up.
  const std::lock_guard lock(news_->mutex);
  auto [it, inserted] = news_->by_target.try_emplace(target_);
  News& news = it->second;
  if (inserted) {
    PieceConverter convert;
    if (!target_.empty()) {
      convert = [&](std::string_view text, const std::string* page) {
        const FileEncoding* from = &sources_->include_source;
        if (page) {
          const auto source = sources_->pages.find(*page);
          if (source == sources_->pages.end()) return std::string(text);
          from = &source->second;
        }
        const std::string_view piece = Piece(text, *from);
        if (!page && piece.data() != text.data()) news.converted_include = true;
        return std::string(piece);
      };
    }
    BuildNewsLines(news_index_, include_lines_, news.lines, convert);
  }
  converted_include_ = converted_include_ || news.converted_include;
  return news.lines;
}

}  // namespace splicery
