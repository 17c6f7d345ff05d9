// SPDX-License-Identifier: GPL-3.0-or-later
// The site folder's lock, held by every command that writes there (a run, an undo, a prune):
// two at once would race for backup names and for the pages. A second one waits.
#pragma once

#include "core/form.h"
#include "files/file_system.h"

namespace splicery {

class RunLock {
 public:
  explicit RunLock(FileSystem& fs) : fs_(fs) {}
  ~RunLock() {
    if (held_) fs_.UnlockFolder();
  }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock, saying once in Label3 that it waits for another holder. A failure is to be
  // reported as "FEHLER beim Zugriff auf .".
  Status Take(Form& form) {
    Status locked = fs_.LockFolder(
        ".", [&form] { form.SetLabel3("Warte auf einen anderen Lauf in diesem Ordner ..."); });
    held_ = locked.ok();
    return locked;
  }

 private:
  FileSystem& fs_;
  bool held_ = false;
};

}  // namespace splicery
