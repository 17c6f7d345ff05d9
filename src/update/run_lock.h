// SPDX-License-Identifier: GPL-3.0-or-later
// The site folder's lock, held by every command that writes there (a run, an undo, a prune):
// two at once would race for backup names and for the pages. A second one waits.
#pragma once

#include <functional>

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

  // Takes the lock; `on_wait` is called once before waiting for another holder. A failure is
  // to be reported as an access failure of ".".
  Status Take(const std::function<void()>& on_wait) {
    Status locked = fs_.LockFolder(".", on_wait);
    held_ = locked.ok();
    return locked;
  }

 private:
  FileSystem& fs_;
  bool held_ = false;
};

}  // namespace splicery
