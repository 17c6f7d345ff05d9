// SPDX-License-Identifier: GPL-3.0-or-later
// The move of a whole site to UTF-8 as one run: include.htm and every listed page that is not
// UTF-8 yet are read in their encoding and written as UTF-8 declaring so, and every page's
// blocks are regenerated from the converted include.htm in the same run. Backed up, journaled
// (run kind "to-utf8") and written like an update run, so an undo takes it back.
#pragma once

#include <string>

#include "core/form.h"
#include "files/file_system.h"
#include "update/update_run.h"

namespace splicery {

// Works from the lists the start-up scan filled into `form` (List1; include.htm and the pages
// are read anew). Every file is checked before any is written: one that cannot be converted
// (UTF-16, an unknown label, bytes its encoding does not allow) stops the move with its message
// in Label3 and its reason in RunResult::failure. A site already in UTF-8 is left alone, with
// nothing journaled. Check mode writes nothing and counts in stale_pages the files that would
// change, each shown to `on_change`.
struct MoveResult {
  RunResult run;
  std::string reason;  // why a file could not be converted; empty for other failures
};
MoveResult MoveSiteToUtf8(Form& form, FileSystem& fs, RunMode mode,
                          const ChangeObserver& on_change = nullptr);

// How many listed pages a move would convert (the window's question names them); none when the
// site is in UTF-8 already or a file could not be read or converted.
size_t PagesToConvert(const Form& form, FileSystem& fs);

}  // namespace splicery
