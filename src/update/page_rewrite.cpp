// Marker validation and the rewrite pass with its include blocks.
#include "update/page_rewrite.h"

#include "files/markers.h"

namespace splicery {

using markers::Contains;

bool MarkersClose(const std::vector<Line>& page) {
  bool open = false;
  for (const Line& line : page) {
    if (Contains(line.text, markers::kEnd)) {
      open = false;
    } else if (Contains(line.text, markers::kStart)) {
      open = true;
    }
  }
  return !open;
}

void RewritePage(const std::vector<Line>& page, BlockRewriter& blocks, std::vector<Line>& out,
                 std::vector<std::string>& keys,
                 const std::function<void(const std::string&)>& on_line) {
  out.clear();
  std::vector<std::string_view> generated;
  size_t i = 0;
  while (i < page.size()) {
    const Line& line = page[i++];
    if (on_line) on_line(line.text);
    // A line holding START and END opens no block: it is copied like any other line, so no
    // page line outside a block is ever dropped.
    if (!Contains(line.text, markers::kStart) || Contains(line.text, markers::kEnd)) {
      out.push_back(line);
      continue;
    }
    out.push_back(line);
    keys.clear();
    bool news = false;
    const Line* end_line = nullptr;
    while (i < page.size()) {
      const Line& inner = page[i++];
      if (Contains(inner.text, markers::kEnd)) {
        end_line = &inner;
        break;
      }
      if (Contains(inner.text, markers::kKey)) {
        news = news || Contains(inner.text, markers::kNews);
        keys.push_back(inner.text);
        out.push_back(inner);
      }
      // Every other line inside the block is the last run's output: dropped.
    }
    Eol eol = line.eol == Eol::kNone ? Eol::kLf : line.eol;
    if (news) {
      for (const std::string& text : blocks.NewsLines()) out.push_back(Line{text, eol});
    } else {
      generated.clear();
      blocks.Substitute(keys, generated);
      for (std::string_view text : generated) out.push_back(Line{std::string(text), eol});
    }
    if (end_line) out.push_back(*end_line);
  }
}

}  // namespace splicery
