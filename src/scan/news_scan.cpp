// SPDX-License-Identifier: GPL-3.0-or-later
// News index scan. The stand-line parse works on 0-based positions; a position at or past the
// end of the line holds "no character", which is neither a blank nor "<".
#include "scan/news_scan.h"

#include "text/encoding.h"
#include "text/lines.h"
#include "text/markers.h"
#include "text/news_entry.h"

namespace splicery {
namespace {

constexpr size_t npos = std::string_view::npos;

bool At(std::string_view line, size_t p, char c) { return p < line.size() && line[p] == c; }

// Blanks, an optional comment opening ("<" and the three characters after it, unseen), blanks.
size_t SkipOpening(std::string_view line, size_t p) {
  while (At(line, p, ' ')) ++p;
  if (At(line, p, '<')) p += 4;
  while (At(line, p, ' ')) ++p;
  return p;
}

}  // namespace

StandLine ReadStandLine(std::string_view line) {
  StandLine result;
  size_t marker = markers::Find(line, markers::kStand);
  if (marker == npos) return result;
  result.kind = StandLine::kIncomplete;
  size_t p = SkipOpening(line, marker + markers::kStand.size());

  // The token's first character is taken unseen; it ends at the next blank or "<".
  size_t e = p + 1;
  while (e < line.size() && line[e] != ' ' && line[e] != '<') ++e;
  if (e >= line.size()) return result;  // nothing ends the token on this line
  std::string_view token = line.substr(p, e - p);

  size_t d1 = token.find('.');
  if (d1 == npos) return result;
  size_t d2 = token.find('.', d1 + 1);
  if (d2 == npos) return result;

  p = SkipOpening(line, e);
  const size_t t = markers::Find(line, markers::kCommentEnd, p);
  if (t == npos) return result;
  result.kind = token == markers::kNoDate ? StandLine::kNoDate : StandLine::kEntry;
  result.date = token;
  result.title = line.substr(p, t - p);
  return result;
}

std::optional<std::string> ParseStandLine(std::string_view line, std::string_view page) {
  const StandLine stand = ReadStandLine(line);
  if (stand.kind != StandLine::kEntry) return std::nullopt;
  return MakeNewsEntry(stand.date, page, stand.title);
}

Status ScanNews(Form& form, FileSystem& fs) {
  const size_t count = form.List1.size();
  std::string bytes;  // reused, so a large page is not faulted in anew for every page
  // The stand lines are found by the thread that reads the pages ahead, where it can.
  const ReadingAhead ahead(fs, form.List1, false, [](std::string_view page) {
    auto found = std::make_unique<PageStands>();
    found->Find(page);
    return found;
  });
  PageStands found;
  for (size_t i = 0; i < count; ++i) {
    const std::string& page = form.List1[i];
    form.SetLabel3(msg::PageWorkedOn(page));
    if (Status read = fs.ReadFile(page, &bytes); !read) {
      form.SetLabel3(msg::ReadFailed(page));
      return read;
    }
    const std::unique_ptr<ReadWork> done = fs.TakeWork();
    if (done) {
      AddNewsEntries(dynamic_cast<const PageStands&>(*done), page, form.List5, &form.Stands,
                     &form.Encodings);
    } else {
      found.Find(bytes);
      AddNewsEntries(found, page, form.List5, &form.Stands, &form.Encodings);
    }
  }
  return {};
}

void PageStands::Find(std::string_view bytes) {
  dated.clear();
  // One pass over the bytes; only lines holding the marker are looked at closely.
  size_t next = 0;
  for (size_t hit; (hit = markers::Find(bytes, markers::kStand, next)) != npos;) {
    const std::string_view line = LineAround(bytes, hit, &next).text;
    const StandLine stand = ReadStandLine(line);
    if (stand.kind == StandLine::kEntry) dated.emplace_back(stand.date, stand.title);
  }
  encoding = dated.empty() ? FileEncoding() : DetectPageEncoding(bytes);
}

void AddNewsEntries(const PageStands& found, std::string_view page, SortedList& index,
                    std::vector<NewsStand>* stands, SourceEncodings* encodings) {
  for (const auto& [date, title] : found.dated) {
    if (auto entry = MakeNewsEntry(date, page, title)) {
      index.Add(std::move(*entry));
      if (stands) stands->push_back({date, std::string(page), title});
      if (encodings && !encodings->pages.contains(page)) {
        encodings->pages.emplace(page, found.encoding);
      }
    }
  }
}

void AddNewsEntries(std::string_view bytes, std::string_view page, SortedList& index,
                    std::vector<NewsStand>* stands, SourceEncodings* encodings) {
  PageStands found;
  found.Find(bytes);
  AddNewsEntries(found, page, index, stands, encodings);
}

}  // namespace splicery
