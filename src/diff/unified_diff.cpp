// SPDX-License-Identifier: GPL-3.0-or-later
// Unified diff of the changed regions of a page. The page is walked once from the front: the
// common stretches between regions are only counted (LFs) and touched at their ends for context;
// the lines inside a region are compared with dtl's O(NP) shortest edit script.
#include "diff/unified_diff.h"

#include <algorithm>
#include <cstring>
#include <dtl/dtl.hpp>
#include <stdexcept>
#include <vector>

namespace splicery {
namespace {

constexpr size_t kContext = 3;
constexpr size_t kFlushAt = size_t{64} * 1024;

using Lines = std::vector<std::string_view>;

// Line boundary: start of a line, or the end of the bytes.
bool AtBoundary(std::string_view s, size_t p) {
  return p == 0 || p == s.size() || s[p - 1] == '\n';
}

// Number of lines in [a, b), which starts at a line start and ends at a boundary.
size_t CountLines(std::string_view s, size_t a, size_t b) {
  size_t n = static_cast<size_t>(std::count(s.begin() + a, s.begin() + b, '\n'));
  return n + (b > a && s[b - 1] != '\n' ? 1 : 0);
}

// The lines of `s`, each with its LF (the last one may lack it).
Lines SplitLines(std::string_view s) {
  Lines lines;
  for (size_t p = 0; p < s.size();) {
    size_t e = s.find('\n', p);
    e = e == std::string_view::npos ? s.size() : e + 1;
    lines.push_back(s.substr(p, e - p));
    p = e;
  }
  return lines;
}

// Buffers the output and hands it to the sink in large pieces (the last one on Flush()).
class Output {
 public:
  explicit Output(const DiffSink& sink) : sink_(sink) {}
  void Add(std::string_view text) {
    if (text.size() >= kFlushAt) {
      Flush();
      sink_(text);
      return;
    }
    buffer_ += text;
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (!buffer_.empty()) sink_(buffer_);
    buffer_.clear();
  }

 private:
  const DiffSink& sink_;
  std::string buffer_;
};

// Gathers hunks from an alternating stream of common stretches and changes, in page order.
class HunkWriter {
 public:
  HunkWriter(std::string_view old_bytes, std::string_view page, Output& out)
      : old_(old_bytes), page_(page), out_(out) {}

  // The old lines [a, b) (`lines` of them) are unchanged.
  void Common(size_t a, size_t b, size_t lines) {
    if (lines == 0) return;
    if (pending_.lines == 0) {
      pending_ = {a, b, lines};
    } else {
      pending_.b = b;
      pending_.lines += lines;
    }
  }

  void Change(std::span<const std::string_view> removed, std::span<const std::string_view> added) {
    const size_t k = pending_.lines;
    if (open_ && k <= 2 * kContext) {
      EmitFront(k);
    } else {
      if (open_) {
        EmitFront(kContext);
        Close();
      }
      const size_t lead = std::min(k, kContext);
      open_ = true;
      old_start_ = old_line_ + k - lead;
      new_start_ = new_line_ + k - lead;
      old_count_ = new_count_ = 0;
      EmitBack(lead);
    }
    old_line_ += k + removed.size();
    new_line_ += k + added.size();
    pending_ = {};
    for (std::string_view line : removed) Line('-', line);
    for (std::string_view line : added) Line('+', line);
  }

  void Finish() {
    if (!open_) return;
    EmitFront(std::min(pending_.lines, kContext));
    Close();
  }

 private:
  struct Stretch {
    size_t a = 0, b = 0, lines = 0;
  };

  void Line(char mark, std::string_view line) {
    body_ += mark;
    body_ += line;
    if (line.empty() || line.back() != '\n') body_ += "\n\\ No newline at end of file\n";
    if (mark != '+') ++old_count_;
    if (mark != '-') ++new_count_;
  }

  // The first n lines of the pending stretch.
  void EmitFront(size_t n) {
    for (size_t p = pending_.a; n > 0; --n) {
      size_t e = old_.find('\n', p);
      e = e == std::string_view::npos ? old_.size() : e + 1;
      Line(' ', old_.substr(p, e - p));
      p = e;
    }
  }

  // The last n lines of the pending stretch.
  void EmitBack(size_t n) {
    std::string_view lines[kContext];
    size_t end = pending_.b;
    for (size_t i = n; i > 0; --i) {
      size_t nl = end - 1 > pending_.a ? old_.rfind('\n', end - 2) : std::string_view::npos;
      size_t start = nl == std::string_view::npos || nl < pending_.a ? pending_.a : nl + 1;
      lines[i - 1] = old_.substr(start, end - start);
      end = start;
    }
    for (size_t i = 0; i < n; ++i) Line(' ', lines[i]);
  }

  static std::string Range(size_t start, size_t count) {
    if (count == 0) return std::to_string(start) + ",0";
    if (count == 1) return std::to_string(start + 1);
    return std::to_string(start + 1) + "," + std::to_string(count);
  }

  void Close() {
    if (!headers_done_) {
      out_.Add("--- " + DiffHeaderName("a/", page_) + "\n+++ " + DiffHeaderName("b/", page_) +
               "\n");
      headers_done_ = true;
    }
    out_.Add("@@ -" + Range(old_start_, old_count_) + " +" + Range(new_start_, new_count_) +
             " @@\n");
    out_.Add(body_);
    body_.clear();
    open_ = false;
  }

  std::string_view old_;
  std::string_view page_;
  Output& out_;
  Stretch pending_;
  size_t old_line_ = 0, new_line_ = 0;  // line index where the pending stretch starts
  bool open_ = false, headers_done_ = false;
  size_t old_start_ = 0, new_start_ = 0, old_count_ = 0, new_count_ = 0;
  std::string body_;
};

// Diffs the whole lines old[ob, oe) against new[nb, ne).
void DiffBlock(std::string_view old_bytes, std::string_view new_bytes, const Region& block,
               HunkWriter& writer) {
  Lines a = SplitLines(old_bytes.substr(block.old_begin, block.old_end - block.old_begin));
  Lines b = SplitLines(new_bytes.substr(block.new_begin, block.new_end - block.new_begin));
  const auto offset = [&](std::string_view line) {
    return static_cast<size_t>(line.data() - old_bytes.data());
  };
  const auto common = [&](size_t from, size_t to) {  // old lines a[from, to)
    if (from < to) writer.Common(offset(a[from]), offset(a[to - 1]) + a[to - 1].size(), to - from);
  };
  size_t pre = 0;
  while (pre < a.size() && pre < b.size() && a[pre] == b[pre]) ++pre;
  size_t suf = 0;
  while (suf < a.size() - pre && suf < b.size() - pre &&
         a[a.size() - 1 - suf] == b[b.size() - 1 - suf]) {
    ++suf;
  }
  common(0, pre);
  const std::span<const std::string_view> am(a.data() + pre, a.size() - pre - suf);
  const std::span<const std::string_view> bm(b.data() + pre, b.size() - pre - suf);
  if (am.empty() || bm.empty()) {
    writer.Change(am, bm);
  } else {
    dtl::Diff<std::string_view, Lines> diff(Lines(am.begin(), am.end()),
                                            Lines(bm.begin(), bm.end()));
    diff.compose();
    size_t i = 0, j = 0, ci = 0, cj = 0;  // position, and where the current change began
    for (const auto& [line, info] : diff.getSes().getSequence()) {
      if (info.type == dtl::SES_COMMON) {
        if (i > ci || j > cj) writer.Change(am.subspan(ci, i - ci), bm.subspan(cj, j - cj));
        common(pre + i, pre + i + 1);
        ci = ++i;
        cj = ++j;
      } else if (info.type == dtl::SES_DELETE) {
        ++i;
      } else {
        ++j;
      }
    }
    if (i != am.size() || j != bm.size()) throw std::logic_error("dtl edit script is incomplete");
    if (i > ci || j > cj) writer.Change(am.subspan(ci, i - ci), bm.subspan(cj, j - cj));
  }
  common(a.size() - suf, a.size());
}

void CheckRegions(std::string_view old_bytes, std::string_view new_bytes,
                  std::span<const Region> regions) {
  size_t old_pos = 0, new_pos = 0;
  for (const Region& r : regions) {
    if (r.old_begin < old_pos || r.new_begin < new_pos || r.old_end < r.old_begin ||
        r.new_end < r.new_begin || r.old_end > old_bytes.size() || r.new_end > new_bytes.size() ||
        r.old_begin - old_pos != r.new_begin - new_pos) {
      throw std::invalid_argument("diff regions are unsorted, overlap or leave unequal gaps");
    }
    old_pos = r.old_end;
    new_pos = r.new_end;
  }
  if (old_bytes.size() - old_pos != new_bytes.size() - new_pos) {
    throw std::invalid_argument("diff regions leave unequal tails");
  }
}

// The regions without their equal ends, widened to whole lines (by the same amount on both
// sides) and merged where the widening runs into the next one.
std::vector<Region> LineBlocks(std::string_view old_bytes, std::string_view new_bytes,
                               std::span<const Region> regions) {
  std::vector<Region> trimmed;
  for (Region r : regions) {
    auto [o, n] = std::mismatch(old_bytes.begin() + r.old_begin, old_bytes.begin() + r.old_end,
                                new_bytes.begin() + r.new_begin, new_bytes.begin() + r.new_end);
    r.old_begin = o - old_bytes.begin();
    r.new_begin = n - new_bytes.begin();
    auto [ro, rn] = std::mismatch(old_bytes.rbegin() + (old_bytes.size() - r.old_end),
                                  old_bytes.rbegin() + (old_bytes.size() - r.old_begin),
                                  new_bytes.rbegin() + (new_bytes.size() - r.new_end),
                                  new_bytes.rbegin() + (new_bytes.size() - r.new_begin));
    r.old_end = old_bytes.rend() - ro;
    r.new_end = new_bytes.rend() - rn;
    if (r.old_begin < r.old_end || r.new_begin < r.new_end) trimmed.push_back(r);
  }
  std::vector<Region> blocks;
  for (size_t i = 0; i < trimmed.size(); ++i) {
    Region b = trimmed[i];
    const size_t floor = blocks.empty() ? 0 : blocks.back().old_end;
    const size_t nl = old_bytes.substr(floor, b.old_begin - floor).rfind('\n');
    const size_t back = b.old_begin - (nl == std::string_view::npos ? floor : floor + nl + 1);
    b.old_begin -= back;
    b.new_begin -= back;
    while (!AtBoundary(old_bytes, b.old_end) || !AtBoundary(new_bytes, b.new_end)) {
      const size_t limit = i + 1 < trimmed.size() ? trimmed[i + 1].old_begin : old_bytes.size();
      const size_t lf = old_bytes.substr(0, limit).find('\n', b.old_end);
      if (lf != std::string_view::npos) {
        b.new_end += lf + 1 - b.old_end;
        b.old_end = lf + 1;
      } else if (i + 1 == trimmed.size()) {
        b.old_end = old_bytes.size();
        b.new_end = new_bytes.size();
      } else {
        ++i;
        b.old_end = trimmed[i].old_end;
        b.new_end = trimmed[i].new_end;
      }
    }
    blocks.push_back(b);
  }
  return blocks;
}

bool HasNul(std::string_view s) { return std::memchr(s.data(), 0, s.size()) != nullptr; }

}  // namespace

void WriteUnifiedDiff(std::string_view page, std::string_view old_bytes, std::string_view new_bytes,
                      std::span<const Region> regions, const DiffSink& sink) {
  CheckRegions(old_bytes, new_bytes, regions);
  const std::vector<Region> blocks = LineBlocks(old_bytes, new_bytes, regions);
  if (blocks.empty()) return;
  if (HasNul(old_bytes) || HasNul(new_bytes)) {
    const std::string name = ResolvePagePath(page);  // GNU diff does not quote it here
    sink("Binary files a/" + name + " and b/" + name + " differ\n");
    return;
  }
  Output out(sink);
  HunkWriter writer(old_bytes, page, out);
  size_t pos = 0;
  for (const Region& block : blocks) {
    writer.Common(pos, block.old_begin, CountLines(old_bytes, pos, block.old_begin));
    DiffBlock(old_bytes, new_bytes, block, writer);
    pos = block.old_end;
  }
  writer.Common(pos, old_bytes.size(), CountLines(old_bytes, pos, old_bytes.size()));
  writer.Finish();
  out.Flush();
}

void WriteUnifiedDiff(std::string_view page, std::string_view old_bytes, std::string_view new_bytes,
                      const DiffSink& sink) {
  // One region between the common prefix and the common suffix; LineBlocks widens it to lines.
  const size_t shorter = std::min(old_bytes.size(), new_bytes.size());
  const size_t prefix =
      std::mismatch(old_bytes.begin(), old_bytes.begin() + shorter, new_bytes.begin()).first -
      old_bytes.begin();
  const size_t suffix =
      std::mismatch(old_bytes.rbegin(), old_bytes.rbegin() + (shorter - prefix), new_bytes.rbegin())
          .first -
      old_bytes.rbegin();
  const Region whole{prefix, old_bytes.size() - suffix, prefix, new_bytes.size() - suffix};
  WriteUnifiedDiff(page, old_bytes, new_bytes, std::span<const Region>(&whole, 1), sink);
}

std::string UnifiedDiff(std::string_view page, std::string_view old_bytes,
                        std::string_view new_bytes, std::span<const Region> regions) {
  std::string text;
  WriteUnifiedDiff(page, old_bytes, new_bytes, regions,
                   [&](std::string_view piece) { text += piece; });
  return text;
}

std::string UnifiedDiff(std::string_view page, std::string_view old_bytes,
                        std::string_view new_bytes) {
  std::string text;
  WriteUnifiedDiff(page, old_bytes, new_bytes, [&](std::string_view piece) { text += piece; });
  return text;
}

std::string ResolvePagePath(std::string_view page) {
  std::vector<std::string_view> parts;
  while (!page.empty()) {
    const size_t slash = page.find('/');
    const std::string_view part = page.substr(0, slash);
    page = slash == std::string_view::npos ? std::string_view() : page.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == ".." && !parts.empty() && parts.back() != "..") {
      parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string path;
  for (std::string_view part : parts) {
    if (!path.empty()) path += '/';
    path += part;
  }
  return path.empty() ? "." : path;
}

std::string DiffHeaderName(std::string_view prefix, std::string_view page) {
  std::string name = std::string(prefix) + ResolvePagePath(page);
  const auto needs_quotes = [](unsigned char c) {
    return c <= ' ' || c >= 0x80 || c == '"' || c == '\\';
  };
  if (std::none_of(name.begin(), name.end(), needs_quotes)) return name;
  static constexpr char kEscaped[] = "\a\b\t\n\v\f\r\"\\";
  static constexpr char kLetters[] = "abtnvfr\"\\";
  std::string quoted = "\"";
  for (const unsigned char c : name) {
    const char* escape = c == 0 ? nullptr : std::strchr(kEscaped, c);
    if (escape != nullptr) {
      quoted += '\\';
      quoted += kLetters[escape - kEscaped];
    } else if (c < ' ' || c >= 0x80) {
      quoted += '\\';
      quoted += static_cast<char>('0' + (c >> 6));
      quoted += static_cast<char>('0' + ((c >> 3) & 7));
      quoted += static_cast<char>('0' + (c & 7));
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace splicery
