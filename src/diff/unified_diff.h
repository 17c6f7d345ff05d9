// SPDX-License-Identifier: GPL-3.0-or-later
// The unified diff (`diff -u`) of one page's old and new bytes, as GNU patch reads it: lines end
// at LF only (a CR is text), three lines of context, "\ No newline at end of file" where it
// applies. Only the lines inside the changed regions are compared; line numbers come from
// counting LFs, so a large page is never split into a vector of lines.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace splicery {

// A stretch of bytes that differs: [old_begin, old_end) of the old page became
// [new_begin, new_end) of the new one.
struct Region {
  size_t old_begin, old_end, new_begin, new_end;
};

// Receives the output in pieces of about 64 KiB (a larger hunk comes in one piece).
using DiffSink = std::function<void(std::string_view)>;

// Writes the diff of `old_bytes` -> `new_bytes` to `sink` under the headers `--- a/PAGE` and
// `+++ b/PAGE` (see DiffHeaderName). `regions` must be sorted and not overlap, and the bytes
// before, between and after them must be the same in both pages (only their lengths are
// checked; std::invalid_argument otherwise). Regions are widened to whole lines and merged where
// their context meets. Writes nothing when the pages are equal, and the single line
// "Binary files a/PAGE and b/PAGE differ" (PAGE resolved but, as GNU diff does, not quoted) when
// either page holds a NUL byte.
void WriteUnifiedDiff(std::string_view page, std::string_view old_bytes, std::string_view new_bytes,
                      std::span<const Region> regions, const DiffSink& sink);

// The same for two whole pages: the common prefix and suffix are skipped first.
void WriteUnifiedDiff(std::string_view page, std::string_view old_bytes, std::string_view new_bytes,
                      const DiffSink& sink);

// Both of the above, returning the text.
std::string UnifiedDiff(std::string_view page, std::string_view old_bytes,
                        std::string_view new_bytes, std::span<const Region> regions);
std::string UnifiedDiff(std::string_view page, std::string_view old_bytes,
                        std::string_view new_bytes);

// `page` with its "." and ".." parts resolved as written and empty parts dropped
// ("sub/../a.htm" -> "a.htm", "./x/./y.htm" -> "x/y.htm"); a ".." that has nothing left to undo
// stays. An empty result becomes ".".
std::string ResolvePagePath(std::string_view page);

// `prefix` + the resolved page, C-quoted the way GNU diff 3.8 does it: in double quotes when it
// holds a blank, '"', '\\', a byte below 0x20 or one from 0x80 up (DEL stays as it is), with
// \a \b \t \n \v \f \r \" \\ and \ooo for the other bytes.
std::string DiffHeaderName(std::string_view prefix, std::string_view page);

}  // namespace splicery
