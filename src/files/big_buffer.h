// SPDX-License-Identifier: GPL-3.0-or-later
// Room in a byte string for a large page, backed by huge pages where the system offers them:
// filling hundreds of megabytes page by page faults 4 KiB at a time, which on some machines
// (virtual ones above all) costs more than the copying itself.
#pragma once

#include <string>

namespace splicery {

void ReserveBytes(std::string& bytes, size_t size);

// The same hint for any untouched memory range (it is only a hint: nothing changes if refused).
void AdviseHugePages(const void* begin, const void* end);

}  // namespace splicery
