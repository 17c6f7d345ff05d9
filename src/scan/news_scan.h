// SPDX-License-Identifier: GPL-3.0-or-later
// Second half of the start-up scan: every target page's stand lines into the news index.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/form.h"
#include "files/file_system.h"

namespace splicery {

// What one line holds of a stand line: kNone without the marker; kIncomplete when it gives no
// entry; kNoDate for the date "00.00.0000" (a page that opts out of the news list).
struct StandLine {
  enum Kind { kNone, kIncomplete, kNoDate, kEntry } kind = kNone;
  std::string_view date, title;  // views into the line; set for kNoDate and kEntry
};
StandLine ReadStandLine(std::string_view line);

// The news entry "yyyy.mm.dd___page___title" that one line gives, or nothing: no stand line,
// an incomplete one, or the date "00.00.0000".
std::optional<std::string> ParseStandLine(std::string_view line, std::string_view page);

// What a page's bytes hold for the news index, found without its name: the date and title of
// each stand line that may give an entry, and the page's encoding where there is one.
struct PageStands : ReadWork {
  std::vector<std::pair<std::string, std::string>> dated;  // date, title
  FileEncoding encoding;

  void Find(std::string_view bytes);
};

// Adds the entries of one page's stand lines to `index`, and to `stands` where given; a page
// that gives one has its encoding noted in `encodings`, if given (its titles are in it).
void AddNewsEntries(const PageStands& found, std::string_view page, SortedList& index,
                    std::vector<NewsStand>* stands = nullptr, SourceEncodings* encodings = nullptr);
void AddNewsEntries(std::string_view bytes, std::string_view page, SortedList& index,
                    std::vector<NewsStand>* stands = nullptr, SourceEncodings* encodings = nullptr);

// Scans the pages of List1 in order. Fails when a page could not be read; the message then
// stands in Label3 and the entries of earlier pages stay.
Status ScanNews(Form& form, FileSystem& fs);

}  // namespace splicery
