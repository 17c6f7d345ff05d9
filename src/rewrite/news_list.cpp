// SPDX-License-Identifier: GPL-3.0-or-later
// News list generation.
#include "rewrite/news_list.h"

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
    for (std::string_view tmpl : templates) {
      ReplaceAll(tmpl, markers::kNewsDate, pieces->display_date, &line);
      ReplaceAll(line, markers::kNewsName, name, &filled);
      ReplaceAll(filled, markers::kNewsHref, pieces->page, &line);
      out.Append(line, Eol::kLf);
    }
  }
}

}  // namespace splicery
