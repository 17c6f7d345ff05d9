// SPDX-License-Identifier: GPL-3.0-or-later
// Marker events of a page.
#include "text/block_walker.h"

#include "text/markers.h"

namespace splicery {

Marker ClassifyMarkerLine(std::string_view text) {
  const bool end = markers::Contains(text, markers::kEnd);
  const bool start = markers::Contains(text, markers::kStart);
  if (end) return start ? Marker::kStartEnd : Marker::kEnd;
  return start ? Marker::kStart : Marker::kKey;
}

bool MarkerWalker::Next(MarkerLine* line) {
  const size_t hit = markers::Find(page_, markers::kKey, pos_);
  if (hit == std::string_view::npos) return false;
  size_t next;
  const LineView view = LineAround(page_, hit, &next);
  const size_t begin = static_cast<size_t>(view.text.data() - page_.data());
  if (count_lines_) {
    number_ += CountLines(page_, counted_, begin);
    counted_ = begin;
  }
  *line = {ClassifyMarkerLine(view.text), view, begin, next, number_};
  pos_ = next;
  return true;
}

size_t CountLines(std::string_view bytes, size_t from, size_t to) {
  size_t count = 0;
  for (size_t i = from; i < to; ++i) {
    // A CR followed by LF ends one line, at the LF.
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) {
      ++count;
    }
  }
  return count;
}

}  // namespace splicery
