// SPDX-License-Identifier: GPL-3.0-or-later
// Huge-page hint for large byte buffers.
#include "files/big_buffer.h"

#include <sys/mman.h>

#include <cstdint>

namespace splicery {

void AdviseHugePages(const void* begin, const void* end) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = reinterpret_cast<uintptr_t>(end) & ~(kHugePage - 1);
  // The kernel wants the aligned address itself; nothing is ever read through it.
  if (first < last) {
    ::madvise(reinterpret_cast<void*>(first),  // NOLINT(performance-no-int-to-ptr)
              last - first, MADV_HUGEPAGE);
  }
}

void ReserveBytes(std::string& bytes, size_t size) {
  if (size <= bytes.capacity()) return;
  bytes.reserve(size);
  // Only the untouched part beyond the current content gets the hint.
  AdviseHugePages(bytes.data() + bytes.size(), bytes.data() + bytes.capacity());
}

}  // namespace splicery
