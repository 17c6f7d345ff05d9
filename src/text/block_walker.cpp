// SPDX-License-Identifier: GPL-3.0-or-later
// Marker events of a page.
#include "text/block_walker.h"

#include <cstdint>
#include <cstring>

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

namespace {

// How many bytes of [data, data + size) equal `c`, eight at a time: a byte of `sums` counts one
// lane of up to 255 words before it is folded into the total.
size_t CountByte(const char* data, size_t size, char c) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  const uint64_t pattern = kOnes * static_cast<unsigned char>(c);
  size_t count = 0, i = 0;
  while (size - i >= 8) {
    uint64_t sums = 0;
    for (int words = 0; words < 255 && size - i >= 8; ++words, i += 8) {
      uint64_t x;
      std::memcpy(&x, data + i, sizeof x);
      x ^= pattern;  // a byte equal to `c` is now 0, and only a 0 byte keeps bit 7 clear here:
      sums += (~(((x & kLow7) + kLow7) | x) >> 7) & kOnes;
    }
    sums = (sums & 0x00FF00FF00FF00FFu) + ((sums >> 8) & 0x00FF00FF00FF00FFu);
    count += static_cast<size_t>((sums * 0x0001000100010001u) >> 48);
  }
  for (; i < size; ++i) count += data[i] == c;
  return count;
}

}  // namespace

// Every LF, and every CR whose next byte is no LF (a CRLF ends one line, at the LF). Most pages
// hold no CR, so that search finds nothing at once.
size_t CountLines(std::string_view bytes, size_t from, size_t to) {
  if (from >= to) return 0;
  const char* data = bytes.data();
  size_t count = CountByte(data + from, to - from, '\n');
  for (const char* cr = data + from;
       (cr = static_cast<const char*>(std::memchr(cr, '\r', to - static_cast<size_t>(cr - data))));
       ++cr) {
    const size_t next = static_cast<size_t>(cr - data) + 1;
    if (next >= bytes.size() || data[next] != '\n') ++count;
  }
  return count;
}

}  // namespace splicery
