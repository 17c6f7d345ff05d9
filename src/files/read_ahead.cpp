// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/read_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace splicery {
namespace {

// Takes `lock`'s mutex. The other thread holds it for a few steps at a time only, so trying
// again for a moment is cheaper than sleeping in the kernel and being woken: two system calls
// and a switch of threads, which the page's own work would otherwise wait for.
void LockSoon(std::unique_lock<std::mutex>& lock) {
  for (int spin = 0; spin < 200; ++spin) {
    if (lock.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  lock.lock();
}

}  // namespace

ReadAhead::ReadAhead(std::vector<std::string> paths, Reader read, WorkOnRead work)
    : paths_(std::move(paths)), read_(std::move(read)), work_(std::move(work)), slots_(kWindow) {
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread: the caller reads everything itself, as Take's help.
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  reader_cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

// Reads on while there is room, then sleeps until half the window is free again: waking
// the thread for every file taken would cost more than the reads it saves.
void ReadAhead::Work() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    // The work on files the caller read while it waited comes first: the caller needs them
    // sooner, and would otherwise do it itself while this thread sleeps.
    if (Slot* slot = WorkDue()) {
      WorkOn(lock, *slot);
      continue;
    }
    if (MayReadOn()) {
      ReadNext(lock, true);
      continue;
    }
    if (claimed_ >= paths_.size() && !Unworked()) return;
    reader_waits_ = true;
    reader_cv_.wait(lock, [this] { return stop_ || HasWork(); });
    reader_waits_ = false;
  }
}

ReadAhead::Slot* ReadAhead::WorkDue() {
  Slot* slot = Unworked();
  return slot && (Held() < kMaxHeld || slot->index == next_) ? slot : nullptr;
}

bool ReadAhead::HasWork() { return (HalfFree() && MayReadOn()) || WorkDue(); }

ReadAhead::Slot* ReadAhead::Unworked() {
  if (!work_) return nullptr;
  for (size_t i = next_; i < claimed_; ++i) {
    Slot& slot = slots_[i % kWindow];
    if (slot.index == i && slot.state == State::kReady && slot.unworked && !slot.stale) {
      return &slot;
    }
  }
  return nullptr;
}

// The caller does not touch a slot being worked on: it waits for it like for one being read.
void ReadAhead::WorkOn(std::unique_lock<std::mutex>& lock, Slot& slot) {
  slot.state = State::kWorking;
  slot.unworked = false;
  lock.unlock();
  std::unique_ptr<ReadWork> work = work_(slot.bytes);
  LockSoon(lock);
  slot.work = std::move(work);
  slot.state = State::kReady;
  if (caller_waits_) caller_cv_.notify_one();
}

// The slot of the next file may still be in use for one the caller passed over (it read on
// further in the order): its read or work goes on with that slot's bytes until it ends.
bool ReadAhead::MayReadOn() const {
  const State next_slot = slots_[claimed_ % kWindow].state;
  return claimed_ < paths_.size() && claimed_ < next_ + kWindow && Held() < kMaxHeld &&
         next_slot != State::kReading && next_slot != State::kWorking;
}

bool ReadAhead::HalfFree() const {
  return claimed_ >= paths_.size() || (claimed_ < next_ + kWindow / 2 && Held() < kMaxHeld / 2);
}

// Reads the next file nobody has begun, with `lock` held around but not during the read.
// Only the thread does the work (on what the caller read, later, by WorkOn): the work need not
// be safe to do in two threads.
void ReadAhead::ReadNext(std::unique_lock<std::mutex>& lock, bool by_thread) {
  const size_t i = claimed_++;
  Slot& slot = slots_[i % kWindow];
  slot.index = i;
  slot.state = State::kReading;
  slot.stale = false;
  slot.changed.clear();
  slot.work.reset();
  std::string bytes = std::move(slot.bytes);  // a buffer the caller gave back
  FileInfo info;
  std::unique_ptr<ReadWork> work;
  lock.unlock();
  Status status = read_(paths_[i], &bytes, &info);
  if (by_thread && work_ && status) work = work_(bytes);
  LockSoon(lock);
  const bool changed =
      std::find(slot.changed.begin(), slot.changed.end(), info.key) != slot.changed.end();
  slot.stale = slot.stale || changed;
  slot.status = std::move(status);
  slot.bytes = std::move(bytes);
  slot.info = std::move(info);
  slot.work = std::move(work);
  slot.unworked = !by_thread && work_ && slot.status.ok();
  slot.state = State::kReady;
  if (caller_waits_) caller_cv_.notify_one();
  if (!by_thread && reader_waits_) reader_cv_.notify_one();  // work to do, or a slot free
}

bool ReadAhead::Take(const std::string& path, std::string* bytes, FileInfo* info,
                     std::unique_ptr<ReadWork>* work) {
  std::unique_lock lock(mutex_, std::defer_lock);
  LockSoon(lock);
  const size_t end = std::min(paths_.size(), next_ + kWindow);
  size_t j = next_;
  while (j < end && paths_[j] != path) ++j;
  if (j == end) return false;  // not in the order: nothing moves
  if (j >= claimed_) {
    // Not begun: the caller reads it itself, and the thread goes on after it.
    claimed_ = next_ = j + 1;
    WakeReader();
    return false;
  }
  Slot& slot = slots_[j % kWindow];
  // While the thread reads it, the caller reads further ahead rather than wait.
  while (slot.index != j || slot.state != State::kReady) {
    if (MayReadOn()) {
      ReadNext(lock, false);
    } else {
      caller_waits_ = true;
      caller_cv_.wait(lock);
      caller_waits_ = false;
    }
  }
  const bool usable = slot.status.ok() && !slot.stale;
  if (usable) {
    std::swap(*bytes, slot.bytes);
    *info = std::move(slot.info);
    if (work) *work = std::move(slot.work);
  }
  slot.work.reset();
  // A large buffer is not kept for a later read: a window of them would hold as many large pages.
  if (slot.bytes.capacity() > kMaxHeld / kWindow) std::string().swap(slot.bytes);
  slot.state = State::kEmpty;
  next_ = j + 1;
  WakeReader();
  return usable;
}

void ReadAhead::WakeReader() {
  if (reader_waits_ && HasWork()) reader_cv_.notify_one();
}

void ReadAhead::Changed(const FileKey& key) {
  std::unique_lock lock(mutex_, std::defer_lock);
  LockSoon(lock);
  for (Slot& slot : slots_) {
    if (slot.state == State::kReading) slot.changed.push_back(key);
    if ((slot.state == State::kReady || slot.state == State::kWorking) && slot.info.key == key) {
      slot.stale = true;
    }
  }
}

void ReadAhead::ChangedAny() {
  std::lock_guard lock(mutex_);
  for (Slot& slot : slots_) slot.stale = true;
}

size_t ReadAhead::Held() const {
  size_t held = 0;
  for (const Slot& slot : slots_) {
    if ((slot.state == State::kReady || slot.state == State::kWorking) && slot.index >= next_) {
      held += slot.bytes.size() + (slot.work ? slot.work->Size() : 0);
    }
  }
  return held;
}

}  // namespace splicery
