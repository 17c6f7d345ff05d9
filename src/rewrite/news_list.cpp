// SPDX-License-Identifier: GPL-3.0-or-later
// News list generation.
#include "rewrite/news_list.h"

#include <algorithm>
#include <iterator>

#include "text/markers.h"

namespace splicery {

namespace {

// `text` with every occurrence of `placeholder` it holds replaced, into *out; a value inserted
// is never searched itself. *out is reused from line to line, so a long list allocates nothing.
void ReplaceAll(std::string_view text, std::string_view placeholder, std::string_view value,
                std::string* out) {
  out->clear();
  size_t from = 0;
  for (size_t hit; (hit = text.find(placeholder, from)) != std::string_view::npos;) {
    out->append(text.substr(from, hit - from)).append(value);
    from = hit + placeholder.size();
  }
  out->append(text.substr(from));
}

// A template split at its placeholders, so that a line is filled without searching it three
// times. Placeholders never overlap (each begins with '<' and holds no other), so one pass finds
// what the three replacements in turn would find in the template.
struct SplitTemplate {
  std::vector<std::string_view> pieces;  // the text around the slots: one more than slots
  std::vector<int> slots;                // 0 date, 1 name, 2 href
  // Whether no text before a slot could begin a later pass's placeholder that a value then
  // completes: with values free of '<', filling the slots gives the three replacements' line.
  bool fillable = true;
};

SplitTemplate Split(std::string_view tmpl) {
  static constexpr std::string_view kPlaceholders[] = {markers::kNewsDate, markers::kNewsName,
                                                       markers::kNewsHref};
  SplitTemplate split;
  for (;;) {
    size_t at = std::string_view::npos;
    int slot = 0;
    for (int k = 0; k < 3; ++k) {
      if (const size_t hit = tmpl.find(kPlaceholders[k]); hit < at) {
        at = hit;
        slot = k;
      }
    }
    const std::string_view piece = tmpl.substr(0, at);
    split.pieces.push_back(piece);
    if (at == std::string_view::npos) return split;
    split.slots.push_back(slot);
    // A text the name or the href pass could go on to find: a tail beginning a placeholder.
    for (size_t lt = piece.rfind('<'); lt != std::string_view::npos && split.fillable;
         lt = lt == 0 ? std::string_view::npos : piece.rfind('<', lt - 1)) {
      const std::string_view tail = piece.substr(lt);
      if (tail.size() >= markers::kNewsName.size()) break;
      split.fillable =
          !markers::kNewsName.starts_with(tail) && !markers::kNewsHref.starts_with(tail);
    }
    tmpl.remove_prefix(at + kPlaceholders[slot].size());
  }
}

}  // namespace

void BuildNewsLines(const SortedList& news_index, const std::vector<std::string>& include_lines,
                    LineBuffer& out, const PieceConverter& convert) {
  std::vector<std::string> converted;  // the templates' texts, when converted
  std::vector<std::string_view> templates;
  for (const std::string& line : include_lines) {
    size_t k = line.find(markers::kNews);
    if (k != std::string::npos) {
      templates.push_back(std::string_view(line).substr(k + markers::kNews.size()));
    }
  }
  if (templates.empty()) return;
  if (convert) {
    converted.reserve(templates.size());
    for (std::string_view& tmpl : templates) tmpl = converted.emplace_back(convert(tmpl, nullptr));
  }
  std::vector<SplitTemplate> splits;
  splits.reserve(templates.size());
  for (std::string_view tmpl : templates) splits.push_back(Split(tmpl));
  std::string page, title, line, filled;
  const std::vector<std::string>& entries = news_index.items();
  for (size_t v = entries.size(); v-- > 0;) {
    std::optional<NewsPieces> pieces = SplitNewsEntry(entries[v]);
    if (!pieces) continue;  // an entry without a usable date has no place in the list
    std::string_view name = pieces->title;
    if (convert) {
      page.assign(pieces->page);
      name = title = convert(pieces->title, &page);
    }
    const std::string_view values[] = {pieces->display_date, name, pieces->page};
    const bool plain = std::none_of(std::begin(values), std::end(values), [](std::string_view v) {
      return v.find('<') != std::string_view::npos;
    });
    for (size_t t = 0; t < templates.size(); ++t) {
      const SplitTemplate& split = splits[t];
      if (plain && split.fillable) {
        line.assign(split.pieces[0]);
        for (size_t k = 0; k < split.slots.size(); ++k) {
          line.append(values[split.slots[k]]).append(split.pieces[k + 1]);
        }
      } else {
        ReplaceAll(templates[t], markers::kNewsDate, pieces->display_date, &line);
        ReplaceAll(line, markers::kNewsName, name, &filled);
        ReplaceAll(filled, markers::kNewsHref, pieces->page, &line);
      }
      out.Append(line, Eol::kLf);
    }
  }
}

}  // namespace splicery
