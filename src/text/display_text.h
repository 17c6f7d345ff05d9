// SPDX-License-Identifier: GPL-3.0-or-later
// How texts of the site's files are shown: each in its own file's encoding where that is
// known, file names and the program's own texts as UTF-8 where valid, else as windows-1252,
// which old German sites often use; never as ISO-8859-1. The bytes themselves never change.
#pragma once

#include <string>
#include <string_view>

#include "text/encoding.h"

namespace splicery {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// `bytes` in UTF-8 for display. Read in `encoding` (the standard's name, as text/encoding.h
// gives it) as far as they are valid in it, when it names one the library converts and is not
// UTF-16; everything else (an undeclared file's text, a file name, a status text) as UTF-8
// where it is valid and every other byte as windows-1252.
std::string DisplayUtf8(std::string_view bytes, std::string_view encoding = {});

// A news index entry ("yyyy.mm.dd___page___title") in UTF-8 for display: date and page as a
// file name, the title in the encoding of the page it came from.
std::string DisplayNewsEntry(std::string_view entry, const SourceEncodings& sources);

}  // namespace splicery
