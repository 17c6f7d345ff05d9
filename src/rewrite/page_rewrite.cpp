// SPDX-License-Identifier: GPL-3.0-or-later
// Marker validation and the rewrite pass with its include blocks. Both look for markers in the
// page's bytes first and only then at the line that holds one: most lines hold none.
#include "rewrite/page_rewrite.h"

#include <optional>

#include "text/markers.h"

namespace splicery {

using markers::Contains;
using markers::Find;
constexpr size_t npos = std::string_view::npos;

size_t OpenStartLine(std::string_view page) {
  size_t open_at = npos;  // where the open START line begins
  // START and END both begin with the key marker, so one search finds every candidate line.
  for (size_t hit = Find(page, markers::kKey); hit != npos;) {
    size_t next;
    const std::string_view line = LineAround(page, hit, &next).text;
    if (Contains(line, markers::kEnd)) {
      open_at = npos;
    } else if (Contains(line, markers::kStart)) {
      open_at = static_cast<size_t>(line.data() - page.data());
    }
    hit = Find(page, markers::kKey, next);
  }
  if (open_at == npos) return 0;
  // Lines are counted only on failure, so a passing page costs nothing more.
  size_t number = 1;
  for (LineCursor cursor(page); cursor.position() < open_at; cursor.Next()) ++number;
  return number;
}

void RewritePage(std::string_view page, BlockRewriter& blocks, LineBuffer& out,
                 std::vector<std::string>& keys,
                 const std::function<void(std::string_view)>& on_line,
                 std::vector<BlockSpan>* spans) {
  out.Clear();
  // A generous guess: memory reserved but never touched costs nothing.
  out.Reserve(page.size() + page.size() / 8 + 256);
  std::vector<std::string_view> generated;
  LineCursor cursor(page);
  size_t next_start = Find(page, markers::kStart);
  if (spans) spans->clear();
  while (!cursor.AtEnd()) {
    const size_t line_begin = cursor.position();
    const size_t out_begin = out.bytes().size();
    const LineView line = cursor.Next();
    if (on_line) on_line(line.text);
    out.Append(line);
    // A START marker lies inside this line when it begins before the next line does.
    if (next_start >= cursor.position()) continue;
    // A line holding START and END opens no block: it stays like any other line, so no page
    // line outside a block is ever dropped.
    if (!Contains(line.text, markers::kEnd)) {
      keys.clear();
      bool news = false;
      std::optional<LineView> end_line;
      size_t old_end = page.size();  // where the END line begins
      while (!cursor.AtEnd()) {
        const size_t inner_begin = cursor.position();
        const LineView inner = cursor.Next();
        if (Contains(inner.text, markers::kEnd)) {
          end_line = inner;
          old_end = inner_begin;
          break;
        }
        if (Contains(inner.text, markers::kKey)) {
          news = news || Contains(inner.text, markers::kNews);
          keys.emplace_back(inner.text);
          out.Append(inner);
        }
        // Every other line inside the block is the last run's output: dropped.
      }
      const size_t generated_begin = out.bytes().size();
      // Generated lines follow the START line, so they take its terminator.
      if (news) {
        for (LineCursor news_lines(blocks.NewsLines().bytes()); !news_lines.AtEnd();) {
          out.Append(news_lines.Next().text, line.eol);
        }
      } else {
        generated.clear();
        blocks.Substitute(keys, generated);
        for (std::string_view text : generated) out.Append(text, line.eol);
      }
      if (spans) {
        spans->push_back({line_begin, old_end, out_begin, out.bytes().size(), generated_begin});
      }
      if (end_line) out.Append(*end_line);
    }
    next_start = Find(page, markers::kStart, cursor.position());
  }
}

std::vector<std::string> GeneratedParts(std::string_view page) {
  std::vector<std::string> parts;
  std::string part;
  bool in_block = false;
  for (LineCursor cursor(page); !cursor.AtEnd();) {
    const size_t begin = cursor.position();
    const std::string_view line = cursor.Next().text;
    if (!in_block) {
      in_block = Contains(line, markers::kStart) && !Contains(line, markers::kEnd);
      part.clear();
    } else if (Contains(line, markers::kEnd)) {
      in_block = false;
      parts.push_back(std::move(part));
    } else if (!Contains(line, markers::kKey)) {
      part.append(page.substr(begin, cursor.position() - begin));
    }
  }
  return parts;
}

}  // namespace splicery
