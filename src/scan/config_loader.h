// SPDX-License-Identifier: GPL-3.0-or-later
// First half of the start-up scan: include.txt into List1, the include lines of include.htm
// into List2, both counts into the status lines.
#pragma once

#include <string>
#include <vector>

#include "core/form.h"
#include "files/file_system.h"

namespace splicery {

inline constexpr const char* kTargetListFile = "include.txt";
inline constexpr const char* kIncludeSourceFile = "include.htm";

// Reads a configuration file; one that starts with a UTF-16 byte-order mark fails.
Status ReadConfiguration(FileSystem& fs, const char* path, std::string* bytes);

// The page paths of include.txt, as the start-up scan reads them.
Status ReadPageList(FileSystem& fs, std::vector<std::string>* pages);

// Fails when a configuration file could not be read or starts with a UTF-16 byte-order mark;
// the message then stands in Label3.
Status LoadConfiguration(Form& form, FileSystem& fs);

}  // namespace splicery
