// SPDX-License-Identifier: GPL-3.0-or-later
// The generated lines of one include block. Include lines and news index do not change during
// an update run, so the fragments of a key line and the news lines are worked out once per run
// and reused for every block of every page.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/sorted_list.h"
#include "text/encoding.h"
#include "text/lines.h"

namespace splicery {

class BlockRewriter {
 public:
  // Both lists (and `sources`, if given) must outlive the rewriter and stay unchanged while it
  // is used. Without `sources` every piece of text goes in as it is.
  BlockRewriter(const std::vector<std::string>& include_lines, const SortedList& news_index,
                const SourceEncodings* sources = nullptr);
  // A rewriter over the same lists for another thread. The two share the news lines, so each
  // version of them is worked out once, by whichever rewriter needs it first.
  BlockRewriter ForAnotherThread() const;

  // The encoding of the page about to be rewritten. A piece of text with non-ASCII bytes goes
  // in converted when the page's encoding is declared (byte-order mark or <meta>) and the
  // piece's source encoding is known and differs: a fragment, a news template, a news title
  // (never a NEWS HREF). Everywhere else the bytes go in as they are.
  void UsePage(const FileEncoding& page);
  void UsePageBytes(std::string_view page) {
    UsePage(sources_ ? DetectPageEncoding(page) : FileEncoding());
  }
  // Whether text from include.htm went in converted since the last UsePage.
  bool ConvertedIncludeText() const { return converted_include_; }
  // The page's encoding that pieces are converted into; empty when they go in as they are.
  std::string_view target() const { return target_; }

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
  // `text` from a file of encoding `from`, as it goes into the current page.
  std::string_view Piece(std::string_view text, const FileEncoding& from);

  const std::vector<std::string>& include_lines_;
  const SortedList& news_index_;
  const SourceEncodings* sources_;
  std::unordered_map<std::string, std::vector<Fragment>> fragments_;
  std::string_view target_;
  bool converted_include_ = false;
  // Converted fragments by target encoding and the fragment's first byte.
  std::map<std::pair<const char*, const char*>, std::string> converted_;
  struct News {
    LineBuffer lines;
    bool converted_include = false;
  };
  struct SharedNews {
    std::mutex mutex;
    std::map<std::string_view, News> by_target;
  };
  std::shared_ptr<SharedNews> news_ = std::make_shared<SharedNews>();
};

}  // namespace splicery
