// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of `splicery [ORDNER]` before the window opens: is there a display, and which
// folder is the site. Qt-free, so that the decisions are tested without dialogs.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace splicery {

// Exit statuses of the window program (besides 0, the window was closed).
inline constexpr int kExitNoDisplay = 1;
inline constexpr int kExitNoSite = 2;  // the folder cannot be entered, or a bad command line

// `splicery --help` and `splicery --version`, answered on `out` before any display is needed;
// beside any other argument (`args`: the command line without the program name) they are a
// bad command line, told on `err`. Returns the exit status when the program ends here.
std::optional<int> AnswerHelpOrVersion(const std::vector<std::string>& args, std::FILE* out,
                                       std::FILE* err);

// Whether Qt will find a display: the platform from "-platform NAME" (empty: none given), else
// QT_QPA_PLATFORM (a ";"-separated list of candidates), else DISPLAY or WAYLAND_DISPLAY.
// `env` reads a variable and returns nullptr for an unset one.
bool HasDisplay(const std::function<const char*(const char*)>& env,
                const std::string& platform_argument);

// The value of a "-platform NAME" (or "--platform NAME") among Qt's arguments, or "".
std::string PlatformArgument(int argc, char** argv);

// The folder dialog and the message box, so tests can stand in for them.
struct SiteDialogs {
  std::function<std::string()> ask_folder;  // "" when the user cancels
  std::function<void(const std::string& message)> show_failure;
};

// Makes `dir` the working folder; on failure, the German text that says why (else "").
std::string EnterFolder(const std::string& dir);

// Makes the site folder the working folder: the one that `args` (the command line after
// Qt's own arguments, without the program name) names, or with no argument, where the
// current folder has no include.txt, the one the user picks. A cancelled dialog keeps the
// current folder, and the scan then reports what is missing. Returns the exit status when the
// program must end, after showing and printing (on `err`) why; nullopt to open the window.
std::optional<int> OpenSite(const std::vector<std::string>& args, FileSystem& fs,
                            const SiteDialogs& dialogs, std::FILE* err);

}  // namespace splicery
