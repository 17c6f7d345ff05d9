// SPDX-License-Identifier: GPL-3.0-or-later
// The whole site's diff and findings as texts, for a front end to show. Nothing is written.
#pragma once

#include <string>

#include "core/form.h"
#include "diff/unified_diff.h"
#include "files/file_system.h"
#include "update/update_run.h"

namespace splicery {

// Writes the unified diff of every changed page to `sink`, as check mode sees it.
ChangeObserver DiffPrinter(DiffSink sink);

// The diff of everything a run would change with the lists `loaded` holds, or the text that
// says nothing would. `loaded` itself is left as it is. A failure that would stop the run ends
// the text with its message and reason.
std::string SiteDiffText(const Form& loaded, FileSystem& fs);

// Every finding of the site, one a line, and the count.
std::string SiteLintText(FileSystem& fs);

}  // namespace splicery
