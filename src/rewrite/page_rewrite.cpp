// SPDX-License-Identifier: GPL-3.0-or-later
// Marker validation and the rewrite pass with its include blocks. Both look for markers in the
// page's bytes first and only then at the line that holds one: most lines hold none.
#include "rewrite/page_rewrite.h"

#include <optional>
#include <utility>

#include "text/block_walker.h"
#include "text/markers.h"

namespace splicery {

using markers::Contains;
using markers::Find;
constexpr size_t npos = std::string_view::npos;

size_t OpenStartLine(std::string_view page) {
  size_t open_at = npos;  // where the open START line begins
  MarkerWalker walker(page);
  for (MarkerLine m; walker.Next(&m);) {
    if (m.marker == Marker::kEnd || m.marker == Marker::kStartEnd) {
      open_at = npos;
    } else if (m.marker == Marker::kStart) {
      open_at = m.begin;
    }
  }
  // Lines are counted only on failure, so a passing page costs nothing more.
  return open_at == npos ? 0 : 1 + CountLines(page, 0, open_at);
}

namespace {

// Copies the lines of page bytes [from, to) into `out`, each shown to `on_line`.
void CopyLines(std::string_view page, size_t from, size_t to, LineBuffer& out,
               const std::function<void(std::string_view)>& on_line) {
  for (LineCursor cursor(page.substr(from, to - from)); !cursor.AtEnd();) {
    const LineView line = cursor.Next();
    if (on_line) on_line(line.text);
    out.Append(line);
  }
}

// The generated lines of one block, after its key lines; they take the START line's terminator.
// `rest`: the page's bytes still to come, at most what is copied after the block.
void Generate(BlockRewriter& blocks, const std::vector<std::string>& keys, bool news, Eol eol,
              size_t rest, LineBuffer& out) {
  if (news) {
    // Room for the news lines (a byte more each, for CRLF) and the rest of the page at once: a
    // long news list would otherwise grow the page by doubling, to up to twice its size.
    const LineBuffer& news_lines = blocks.NewsLines();
    out.Reserve(out.bytes().size() + news_lines.bytes().size() + news_lines.size() + rest);
    out.Append(news_lines, eol);
    return;
  }
  std::vector<std::string_view> generated;
  blocks.Substitute(keys, generated);
  for (std::string_view text : generated) out.Append(text, eol);
}

}  // namespace

void RewritePage(std::string_view page, BlockRewriter& blocks, LineBuffer& out,
                 std::vector<std::string>& keys,
                 const std::function<void(std::string_view)>& on_line,
                 std::vector<BlockSpan>* spans) {
  out.Clear();
  // A generous guess: memory reserved but never touched costs nothing.
  out.Reserve(page.size() + page.size() / 8 + 256);
  if (spans) spans->clear();
  blocks.UsePageBytes(page);
  size_t copied = 0;  // the page's bytes before this are in `out`
  std::optional<MarkerLine> start;
  BlockSpan span{};
  bool news = false;
  const auto close = [&](size_t old_end) {
    span.new_generated = out.bytes().size();
    Generate(blocks, keys, news, start->line.eol, page.size() - old_end, out);
    span.old_end = old_end;
    span.new_end = out.bytes().size();
    if (spans) spans->push_back(span);
    start.reset();
  };
  MarkerWalker walker(page);
  for (MarkerLine m; walker.Next(&m);) {
    if (!start) {
      // A line holding START and END opens no block: it stays like any other line, so no page
      // line outside a block is ever dropped.
      if (m.marker != Marker::kStart) continue;
      CopyLines(page, copied, m.begin, out, on_line);
      span = {m.begin, 0, out.bytes().size(), 0, 0};
      CopyLines(page, m.begin, m.next, out, on_line);
      start = m;
      keys.clear();
      news = false;
    } else if (m.marker == Marker::kEnd || m.marker == Marker::kStartEnd) {
      close(m.begin);
      out.Append(m.line);
    } else {
      // A key line stays; every other line inside the block is the last run's output: dropped.
      news = news || Contains(m.line.text, markers::kNews);
      keys.emplace_back(m.line.text);
      out.Append(m.line);
    }
    copied = m.next;
  }
  if (start) {
    close(page.size());  // a block without END runs to the end of the page
    copied = page.size();
  }
  CopyLines(page, copied, page.size(), out, on_line);
}

namespace {

// Where the line at `at` ends (the page's end where none begins there).
size_t LineEnd(std::string_view page, size_t at) {
  if (at >= page.size()) return page.size();
  LineCursor cursor(page.substr(at));
  cursor.Next();
  return at + cursor.position();
}

}  // namespace

void ForEachShownLine(std::string_view page, const std::vector<BlockSpan>& spans,
                      const std::function<void(std::string_view)>& on_line) {
  const auto show = [&](size_t from, size_t to) {
    for (LineCursor cursor(page.substr(from, to - from)); !cursor.AtEnd();) {
      on_line(cursor.Next().text);
    }
  };
  const auto line_end = [&](size_t at) { return LineEnd(page, at); };
  size_t from = 0;
  for (const BlockSpan& span : spans) {
    show(from, line_end(span.old_begin));  // up to and with the START line
    from = line_end(span.old_end);         // the END line is not shown
  }
  show(from, page.size());
}

std::optional<std::string_view> LastShownLine(std::string_view page,
                                              const std::vector<BlockSpan>& spans) {
  // The shown stretches from the last one back: after a block's END line up to the next
  // block's START line with it, or to the page's end.
  for (size_t k = spans.size() + 1; k-- > 0;) {
    const size_t from = k == 0 ? 0 : LineEnd(page, spans[k - 1].old_end);
    const size_t to = k == spans.size() ? page.size() : LineEnd(page, spans[k].old_begin);
    if (from >= to) continue;
    // Its last line: after the last terminator but the one that ends the stretch (as LineCursor
    // reads them, CRLF being one).
    std::string_view stretch = page.substr(from, to - from);
    if (stretch.ends_with("\r\n")) {
      stretch.remove_suffix(2);
    } else if (stretch.back() == '\n' || stretch.back() == '\r') {
      stretch.remove_suffix(1);
    }
    const size_t last = stretch.find_last_of("\r\n");
    return last == std::string_view::npos ? stretch : stretch.substr(last + 1);
  }
  return std::nullopt;
}

std::vector<std::string> GeneratedParts(std::string_view page) {
  std::vector<std::string> parts;
  std::string part;
  bool in_block = false;
  size_t after = 0;  // where the lines after the last marker line begin
  MarkerWalker walker(page);
  for (MarkerLine m; walker.Next(&m);) {
    if (in_block) part.append(page.substr(after, m.begin - after));
    if (!in_block) {
      in_block = m.marker == Marker::kStart;
    } else if (m.marker == Marker::kEnd || m.marker == Marker::kStartEnd) {
      in_block = false;
      parts.push_back(std::exchange(part, {}));
    }
    after = m.next;
  }
  return parts;
}

}  // namespace splicery
