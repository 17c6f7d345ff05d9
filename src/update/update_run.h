// The update run: for every target page a backup copy, the marker check, the rewrite and the
// write-out, with the status texts and the three ways a run ends (four, with a failed write).
#pragma once

#include "core/form.h"
#include "files/file_system.h"

namespace splicery {

enum class RunMode {
  kWrite,  // the Start button: back up and write every page
  kCheck,  // the same path without writing: report pages whose bytes would change, and stop
           // where the run would fail (backup and write-out are probed)
};

// Disables Start for good, then works through List1. A stop leaves its message in Label3 and
// its reason in RunResult::failure.
RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode);

}  // namespace splicery
