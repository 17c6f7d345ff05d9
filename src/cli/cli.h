// SPDX-License-Identifier: GPL-3.0-or-later
// splicery-cli: the start-up scan and the update run (or its check) without a window.
#pragma once

#include <cstdio>

namespace splicery {

// Exit codes, the one place they are defined.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a failure was reported, or (--check) a page is stale
inline constexpr int kExitUsage = 2;    // bad command line

int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace splicery
