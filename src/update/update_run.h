// SPDX-License-Identifier: GPL-3.0-or-later
// The update run: for every target page a backup copy, the marker check, the rewrite and the
// write-out, with the status texts and the three ways a run ends (four, with a failed write).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/form.h"
#include "files/file_system.h"
#include "rewrite/page_rewrite.h"

namespace splicery {

enum class RunOutcome {
  kSuccess,        // every page processed (in check mode: checked)
  kAccessFailure,  // backup, copy or read of a page failed
  kMarkerFailure,  // a page's last marker line opens a block
  kWriteFailure,   // writing a page back failed; the page kept its old bytes
};

struct RunResult {
  RunOutcome outcome = RunOutcome::kSuccess;
  size_t stale_pages = 0;  // pages whose new bytes differ from their current ones
  Status failure;          // why the run stopped; ok on success
};

enum class RunMode {
  kWrite,  // the Start button: back up and write every page
  kCheck,  // the same path without writing: report pages whose bytes would change, and stop
           // where the run would fail (backup and write-out are probed)
};

// A page whose bytes the run would change, as check mode sees it.
struct PageChange {
  const std::string& name;  // the file's first name in List1 (a symbolic link's target)
  std::string_view old_bytes, new_bytes;
  const std::vector<BlockSpan>& spans;  // where old and new may differ
};
using ChangeObserver = std::function<void(const PageChange&)>;

// Disables Start for good, then works through List1. A stop leaves its message in Label3 and
// its reason in RunResult::failure. Check mode simulates the run: a file reached again (listed
// twice, or through a link) starts from the bytes its earlier visit would have written, and
// `on_change` sees every page whose bytes would change.
RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode,
                    const ChangeObserver& on_change = nullptr);

}  // namespace splicery
