// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the journal a part at a time, so that no command's memory grows with its length:
// forward for the commands that need all of it (prune), backward from its end for those that
// need its newest runs (a run's number, undo, the lint's guard). A journal of another format
// fails every reader; one that does not exist has no lines.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "files/file_system.h"
#include "update/journal.h"

namespace splicery {

// Every complete line after the header (without its LF), oldest first, with its offset.
Status ForEachLine(FileSystem& fs, const std::function<void(std::string_view, uint64_t)>& each);

// The same, newest first, until `each` answers false.
Status ForEachLineBackward(FileSystem& fs,
                           const std::function<bool(std::string_view, uint64_t)>& each);

// Every run, oldest first; memory: one run.
Status ForEachRun(FileSystem& fs, const std::function<void(JournalRun&&)>& each);

// Every run, newest first, until `each` answers false; memory: one run.
Status ForEachRunBackward(FileSystem& fs, const std::function<bool(JournalRun&&)>& each);

// What a new run needs of the journal: the number of its last run and how it ends.
struct JournalEnd {
  uint64_t last_run = 0;
  bool empty = true;  // none yet, or without a byte
  bool torn = false;  // its last line has no LF
};
Status ReadJournalEnd(FileSystem& fs, JournalEnd* end);

// The run an undo would take back (LastUndoableRun), read from the end.
Status FindLastUndoableRun(FileSystem& fs, std::optional<JournalRun>* run);

// The number of the line that begins at `offset`, counting the header as line 1.
Status JournalLineNumber(FileSystem& fs, uint64_t offset, size_t* line);

}  // namespace splicery
