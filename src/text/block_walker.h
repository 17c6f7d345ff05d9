// SPDX-License-Identifier: GPL-3.0-or-later
// The marker lines of a page, one event each, found with one search for the key marker: most
// lines hold none, and START and END both begin with it. Every reader of blocks (the marker
// check, the rewrite, the lint, the journal's block hashes) walks a page with this and keeps
// its own rule for what an event means where it stands.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/lines.h"

namespace splicery {

enum class Marker {
  kStart,     // holds START (and not END)
  kKey,       // holds the key marker but neither START nor END
  kEnd,       // holds END (and not START)
  kStartEnd,  // holds both
};

Marker ClassifyMarkerLine(std::string_view text);

struct MarkerLine {
  Marker marker;
  LineView line;
  size_t begin;   // offset of the line's first byte
  size_t next;    // offset of the line after it
  size_t number;  // 1-based; only counted when asked for
};

class MarkerWalker {
 public:
  explicit MarkerWalker(std::string_view page, bool count_lines = false)
      : page_(page), count_lines_(count_lines) {}
  // The next marker line; false after the last one.
  bool Next(MarkerLine* line);

 private:
  std::string_view page_;
  bool count_lines_;
  size_t pos_ = 0;      // where the search goes on
  size_t counted_ = 0;  // lines are counted up to here
  size_t number_ = 1;   // the number of the line starting at counted_
};

// How many lines begin in bytes [from, to) of `bytes`, by the line rule (LF, CRLF, lone CR);
// `from` and `to` lie at line starts.
size_t CountLines(std::string_view bytes, size_t from, size_t to);

}  // namespace splicery
