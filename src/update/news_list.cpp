// News list generation.
#include "update/news_list.h"

#include "files/markers.h"

namespace splicery {

std::optional<NewsPieces> SplitNewsEntry(std::string_view entry) {
  const std::string_view sep = markers::kEntrySeparator;
  size_t s1 = entry.find(sep);
  if (s1 == std::string_view::npos) return std::nullopt;
  size_t s2 = entry.find(sep, s1 + sep.size());
  if (s2 == std::string_view::npos) return std::nullopt;
  std::string_view date = entry.substr(0, s1);
  size_t d1 = date.find('.');
  if (d1 == std::string_view::npos) return std::nullopt;
  size_t d2 = date.find('.', d1 + 1);
  if (d2 == std::string_view::npos) return std::nullopt;

  NewsPieces pieces;
  pieces.display_date.append(date.substr(d2 + 1)).append(".");
  pieces.display_date.append(date.substr(d1 + 1, d2 - d1 - 1)).append(".");
  pieces.display_date.append(date.substr(0, d1));
  pieces.page = entry.substr(s1 + sep.size(), s2 - s1 - sep.size());
  pieces.title = entry.substr(s2 + sep.size());
  return pieces;
}

std::string ReplaceAll(std::string_view text, std::string_view placeholder,
                       std::string_view value) {
  std::string out;
  size_t from = 0;
  for (size_t hit; (hit = text.find(placeholder, from)) != std::string_view::npos;) {
    out.append(text.substr(from, hit - from)).append(value);
    from = hit + placeholder.size();
  }
  out.append(text.substr(from));
  return out;
}

void BuildNewsLines(const SortedList& news_index, const std::vector<std::string>& include_lines,
                    LineBuffer& out) {
  std::vector<std::string_view> templates;
  for (const std::string& line : include_lines) {
    size_t k = line.find(markers::kNews);
    if (k != std::string::npos) {
      templates.push_back(std::string_view(line).substr(k + markers::kNews.size()));
    }
  }
  if (templates.empty()) return;
  const std::vector<std::string>& entries = news_index.items();
  for (size_t v = entries.size(); v-- > 0;) {
    std::optional<NewsPieces> pieces = SplitNewsEntry(entries[v]);
    if (!pieces) continue;  // an entry without a usable date has no place in the list
    for (std::string_view tmpl : templates) {
      std::string text = ReplaceAll(tmpl, markers::kNewsDate, pieces->display_date);
      text = ReplaceAll(text, markers::kNewsName, pieces->title);
      out.Append(ReplaceAll(text, markers::kNewsHref, pieces->page), Eol::kLf);
    }
  }
}

}  // namespace splicery
