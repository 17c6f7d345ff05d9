// SPDX-License-Identifier: GPL-3.0-or-later
// The rewrite of one page as a pure function of its bytes, the include lines and the news
// index. The update run and the check mode both call it, so they cannot disagree.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rewrite/block_rewriter.h"
#include "text/lines.h"

namespace splicery {

// 0 when, of the lines holding a START or an END marker, the last one closes a block (a line
// holding both counts as closing; a page without marker lines passes). Otherwise the 1-based
// number of the last START line with no END line after it.
size_t OpenStartLine(std::string_view page);
inline bool MarkersClose(std::string_view page) { return OpenStartLine(page) == 0; }

// Where one block lies in the old and in the new bytes: from the first byte of its START line
// to the first byte of its END line. Outside the blocks the old and the new bytes are the same.
// The generated lines are new bytes [new_generated, new_end), after the key lines.
struct BlockSpan {
  size_t old_begin, old_end, new_begin, new_end, new_generated;
};

// The lines RewritePage showed to `on_line`, found again from `page` and the spans it gave:
// every line but those from a block's first key line through its END line. So a caller can
// show them later without keeping them (a page may have millions).
void ForEachShownLine(std::string_view page, const std::vector<BlockSpan>& spans,
                      const std::function<void(std::string_view)>& on_line);
// The last of those lines, found from the end; none where no line is shown.
std::optional<std::string_view> LastShownLine(std::string_view page,
                                              const std::vector<BlockSpan>& spans);

// For each block of `page` in order, the bytes of the lines a run generates there (every line
// between START and END but the key lines), as they stand now.
std::vector<std::string> GeneratedParts(std::string_view page);

// Rewrites `page` into `out` (cleared first); `keys` receives the key lines of each block in
// turn. `on_line` sees every line the pass reads itself: lines outside blocks and START lines.
// Lines taken from the page keep their terminator; generated lines take the START line's.
// `spans`, if given, receives every block's span in page order. Pieces of text go in converted
// into the page's encoding where `blocks` says so (BlockRewriter::UsePage).
void RewritePage(std::string_view page, BlockRewriter& blocks, LineBuffer& out,
                 std::vector<std::string>& keys,
                 const std::function<void(std::string_view)>& on_line = nullptr,
                 std::vector<BlockSpan>* spans = nullptr);

}  // namespace splicery
