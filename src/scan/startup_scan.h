// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up scan as one call: both configuration files, then every page's stand lines.
#pragma once

#include "core/form.h"
#include "files/file_system.h"

namespace splicery {

// Fills List1, List2 and List5 and writes the scan's status texts. Fails on the first file
// that cannot be read: its message stands in Label3, and what was loaded before stays.
Status RunStartupScan(Form& form, FileSystem& fs);

}  // namespace splicery
