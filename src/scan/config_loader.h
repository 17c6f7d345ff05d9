// First half of the start-up scan: include.txt into List1, the include lines of include.htm
// into List2, both counts into the status lines.
#pragma once

#include "app/form.h"

namespace splicery {

inline constexpr const char* kTargetListFile = "include.txt";
inline constexpr const char* kIncludeSourceFile = "include.htm";

// False when a configuration file could not be read; the message then stands in Label3.
bool LoadConfiguration(Form& form, FileSystem& fs);

}  // namespace splicery
