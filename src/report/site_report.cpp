// SPDX-License-Identifier: GPL-3.0-or-later
// Diff and findings as texts.
#include "report/site_report.h"

#include <vector>

#include "report/site_lint.h"
#include "text/encoding.h"

namespace splicery {

ChangeObserver DiffPrinter(DiffSink sink) {
  return [sink = std::move(sink)](const PageChange& change) {
    std::vector<Region> regions;
    regions.reserve(change.spans.size());
    for (const BlockSpan& s : change.spans) {
      regions.push_back({s.old_begin, s.old_end, s.new_begin, s.new_end});
    }
    WriteUnifiedDiff(change.name, change.old_bytes, change.new_bytes, regions, sink);
  };
}

Report SiteDiffReport(const Form& loaded, FileSystem& fs) {
  Form scratch;
  scratch.List1 = loaded.List1;
  scratch.List2 = loaded.List2;
  scratch.List5 = loaded.List5;
  scratch.Encodings = loaded.Encodings;
  Report report;
  ChangeObserver print =
      DiffPrinter([&report](std::string_view piece) { report.back().text.append(piece); });
  // Each page's diff in its own piece: old and new lines are in the page's encoding.
  const RunResult result = RunUpdate(scratch, fs, RunMode::kCheck, [&](const PageChange& change) {
    report.push_back({{}, DetectPageEncoding(change.old_bytes).name});
    print(change);
  });
  if (!result.failure.ok()) {
    report.push_back({scratch.Label3() + "\n" + result.failure.path() + ": " +
                          msg::Reason(result.failure) + "\n",
                      {}});
  } else if (report.empty()) {
    report.push_back({msg::NothingWouldChange(), {}});
  }
  return report;
}

Report SiteLintReport(FileSystem& fs) {
  const std::vector<Finding> findings = LintSite(fs);
  std::string text;
  for (const Finding& finding : findings) text += FormatFinding(finding) + "\n";
  return {{text + FormatSummary(findings) + "\n", {}}};
}

}  // namespace splicery
