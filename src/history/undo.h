// SPDX-License-Identifier: GPL-3.0-or-later
// Taking a run back: every page the newest undoable run changed, and that still holds what
// that run wrote, gets the bytes of the backup the run made of it again. The undo is a run of
// its own: it backs up what it replaces, writes the way a run writes, and is journaled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/form.h"
#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

// The run an undo would take back, as a user is asked about it.
struct UndoCandidate {
  uint64_t number = 0;
  std::string time;
  size_t pages = 0;  // pages it changed
};
std::optional<UndoCandidate> FindUndoCandidate(FileSystem& fs);

struct UndoResult {
  bool complete = false;  // a run was taken back, every page of it
  Status failure;         // why it stopped, when it did
};

// Writes a text per page and one at the end into Label3. With `dry_run` it only says what it
// would do and writes nothing. With `lock_held` the caller holds the folder's lock already (it
// asked the user about the run it found under that lock).
UndoResult UndoLastRun(Form& form, FileSystem& fs, bool dry_run, bool lock_held = false);

}  // namespace splicery
