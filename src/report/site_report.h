// SPDX-License-Identifier: GPL-3.0-or-later
// The whole site's diff and findings as texts, for a front end to show. Nothing is written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/form.h"
#include "diff/unified_diff.h"
#include "files/file_system.h"
#include "update/update_run.h"

namespace splicery {

// Writes the unified diff of every changed page to `sink`, as check mode sees it.
ChangeObserver DiffPrinter(DiffSink sink);

// A part of a report and the encoding its bytes are in, for a front end to show each part in
// its own file's encoding: a page's diff in the page's (empty where the page declares none);
// the program's own texts, with file names in them, empty.
struct ReportPiece {
  std::string text;
  std::string_view encoding;
};
using Report = std::vector<ReportPiece>;

// The diff of everything a run would change with the lists `loaded` holds, one piece a page,
// or the text that says nothing would. `loaded` itself is left as it is. A failure that would
// stop the run ends the report with its message and reason.
Report SiteDiffReport(const Form& loaded, FileSystem& fs);

// Every finding of the site, one a line, and the count.
Report SiteLintReport(FileSystem& fs);

}  // namespace splicery
