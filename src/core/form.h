// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's working data, without any widget: the five lists, the status line, the detail line
// and the Start button's state. The start-up scan and the update run work on it; the Qt window
// and splicery-cli only show it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/sorted_list.h"
#include "text/encoding.h"
#include "text/lines.h"
#include "text/news_entry.h"

namespace splicery {

enum class LabelId { kLabel3, kLabel4 };

// Sees every text as it is written into Label3 or Label4 (also empty ones).
using LabelListener = std::function<void(LabelId, std::string_view text, TextKind)>;

class Form {
 public:
  static constexpr std::string_view kCaption = "Splicery V. 1.0";

  std::vector<std::string> List1;  // target list: page paths in include.txt order
  std::vector<std::string> List2;  // include lines of include.htm in file order
  LineBuffer List3;                // output buffer: new lines of the page being rewritten
  std::vector<std::string> List4;  // key lines of the include block being rewritten
  SortedList List5;                // news index
  std::vector<NewsStand> Stands;   // List5's entries as the scan found them, for the feed
  std::optional<std::string> SiteConfigBytes;  // splicery.ini as the scan read it, if any
  // include.htm's encoding and that of every page that gave news entries, so that text from
  // them can be converted into a page of another declared encoding.
  SourceEncodings Encodings;
  bool Command1Enabled = true;

  const std::string& Label3() const { return label3_; }
  const std::string& Label4() const { return label4_; }
  void SetLabel3(std::string_view text, TextKind kind = TextKind::kStatus);
  void SetLabel3(const Text& text) { SetLabel3(text.text, text.kind); }
  // `encoding`: for a page line, the encoding of its page (the standard's name; empty where
  // the page declares none), so that the window shows it in that encoding.
  void SetLabel4(std::string_view text, TextKind kind = TextKind::kStatus,
                 std::string_view encoding = {});
  void SetLabel4(const Text& text) { SetLabel4(text.text, text.kind); }
  std::string_view Label4Encoding() const { return label4_encoding_; }
  // One listener at a time; whoever sets one removes it (SetListener(nullptr)) before it dies.
  // `page_lines`: whether it looks at page lines. One that does not is shown only the last
  // one of each page, which spares the run finding every line again.
  void SetListener(LabelListener listener, bool page_lines = true) {
    listener_ = std::move(listener);
    page_lines_ = page_lines;
  }
  // Whether every page line must be written into Label4 as it is shown.
  bool WantsEachPageLine() const { return listener_ && page_lines_; }

 private:
  std::string label3_ = "Label3";
  std::string label4_ = "Label4";
  std::string_view label4_encoding_;  // one of the standard's names, which never go away
  LabelListener listener_;
  bool page_lines_ = true;
};

}  // namespace splicery
