// SPDX-License-Identifier: GPL-3.0-or-later
// How list items and status texts (bytes) are shown: as UTF-8 where they are valid UTF-8,
// else as windows-1252, which old German sites often use. The bytes themselves never change.
#pragma once

#include <string_view>

namespace splicery {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

}  // namespace splicery
