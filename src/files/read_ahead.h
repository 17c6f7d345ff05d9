// SPDX-License-Identifier: GPL-3.0-or-later
// Reading files in a second thread ahead of a caller that reads them one after another in an
// order known beforehand, so that its reading and its other work overlap (and two threads
// share the reading where the caller does little else). A read done ahead counts as if the
// caller had done it then; what the program itself changed since is read again. The thread
// may also do the caller's work on each file's bytes (WorkOnRead).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/file_system.h"

namespace splicery {

class ReadAhead {
 public:
  // Reads `path` whole into *bytes and describes it (its identity at least) into *info.
  using Reader = std::function<Status(const std::string& path, std::string* bytes, FileInfo* info)>;

  // Starts reading `paths` in order with `read`, at most kWindow files or about kMaxHeld
  // bytes ahead of the caller; `work`, if given, is done by the thread on each file it read.
  ReadAhead(std::vector<std::string> paths, Reader read, WorkOnRead work = nullptr);
  ~ReadAhead();  // stops and waits for the thread
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The caller's read of `path` (one caller thread), its next in the order (or a little further on,
  // where it skipped some): true with *bytes and *info as read ahead (the caller's old buffer is
  // kept for a later read). False where the caller reads it itself: not in the order, not read
  // ahead, failed (read again for the reason of the moment), or changed by the program since.
  // With true, *work is the work on those bytes, or null where the thread did not do it.
  bool Take(const std::string& path, std::string* bytes, FileInfo* info,
            std::unique_ptr<ReadWork>* work = nullptr);

  // The program changed the file `key` (its bytes, or a name of it): a read of it done
  // ahead is stale.
  void Changed(const FileKey& key);
  // The program changed files it cannot name by identity: every read done ahead is stale.
  void ChangedAny();

 private:
  static constexpr size_t kWindow = 16;
  static constexpr size_t kMaxHeld = size_t{4} << 20;
  enum class State { kEmpty, kReading, kWorking, kReady };
  struct Slot {
    size_t index = 0;
    State state = State::kEmpty;
    bool stale = false;
    bool unworked = false;         // read by the caller: the thread may still do the work
    std::vector<FileKey> changed;  // changed while it was being read
    Status status;
    std::string bytes;
    FileInfo info;
    std::unique_ptr<ReadWork> work;
  };

  void Work();
  bool MayReadOn() const;
  bool HalfFree() const;
  void WakeReader();
  void ReadNext(std::unique_lock<std::mutex>& lock, bool by_thread);
  // The first file ahead that the caller read and no one has worked on yet, if any.
  Slot* Unworked();
  // That file where the thread may work on it now: within the bound, or the caller's next.
  Slot* WorkDue();
  // What the thread waits for: room to read on (half the window), or work due.
  bool HasWork();
  void WorkOn(std::unique_lock<std::mutex>& lock, Slot& slot);
  // The bytes read ahead and not yet taken, with the memory of the work done on them.
  size_t Held() const;

  const std::vector<std::string> paths_;
  const Reader read_;
  const WorkOnRead work_;
  std::mutex mutex_;
  std::condition_variable reader_cv_, caller_cv_;
  bool reader_waits_ = false, caller_waits_ = false;
  std::vector<Slot> slots_;  // paths_[i] in slots_[i % kWindow]
  size_t next_ = 0;          // the caller's place in the order
  size_t claimed_ = 0;       // the first index no thread has taken on; never below next_
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace splicery
