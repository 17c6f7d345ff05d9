// SPDX-License-Identifier: GPL-3.0-or-later
// A check of the whole site that never stops at the first problem: every finding with its file
// and line, compiler style, for the user to fix before a run. Reads, never writes.
#pragma once

#include <string>
#include <vector>

#include "files/file_system.h"

namespace splicery {

enum class Severity {
  kError,    // the run would stop here
  kWarning,  // the run would silently do what the user most likely did not mean
  kNote,     // worth a look
};

struct Finding {
  std::string file;  // a page as listed in include.txt, or include.txt / include.htm
  size_t line;       // 1-based; 1 for a finding about a whole file
  Severity severity;
  std::string text;
};

// The findings in the folder's site: include.txt first, then every page in include.txt order
// by line, include.htm last.
// Without `check_links` the references of the pages are not looked at (the benchmark's
// measure of what the link check costs).
std::vector<Finding> LintSite(FileSystem& fs, bool check_links = true);

// "FILE:LINE: Fehler: TEXT" (or Warnung, Hinweis).
std::string FormatFinding(const Finding& finding);
// "N Fehler, N Warnungen, N Hinweise".
std::string FormatSummary(const std::vector<Finding>& findings);

}  // namespace splicery
