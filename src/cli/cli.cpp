// SPDX-License-Identifier: GPL-3.0-or-later
// Command line, printing of the status texts, exit codes.
#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/output_stream.h"
#include "core/form.h"
#include "core/messages.h"
#include "files/posix_file_system.h"
#include "history/prune.h"
#include "history/undo.h"
#include "report/site_lint.h"
#include "report/site_report.h"
#include "scan/startup_scan.h"
#include "update/to_utf8.h"
#include "update/update_run.h"

namespace splicery {
namespace {

enum class Action { kRun, kCheck, kDiff, kLint, kUndo, kPrune, kToUtf8, kHelp, kVersion };

struct Options {
  Action action = Action::kRun;
  bool dry_run = false;  // --check beside --undo, --prune or --to-utf8
  bool diff = false;     // --diff beside --to-utf8
  size_t keep = 0;       // --prune N
  const char* dir = nullptr;
};

// A text as a terminal can show it: a NUL byte (a page name may hold one) would vanish there,
// and the name would look like another one.
void AppendShown(std::string& shown, std::string_view text) {
  for (size_t nul; (nul = text.find('\0')) != std::string_view::npos;) {
    shown.append(text.substr(0, nul)).append("\\0");
    text.remove_prefix(nul + 1);
  }
  shown.append(text);
}

std::string Shown(std::string_view text) {
  std::string shown;
  shown.reserve(text.size() + 1);
  AppendShown(shown, text);
  return shown;
}

// The line that says why, right after the FEHLER text it belongs to.
void PrintReason(OutputStream& err, const Status& status) {
  if (status.ok()) return;
  // An empty line of include.txt names no file; say so rather than print nothing.
  const std::string path = status.path().empty() ? msg::EmptyFileName() : status.path();
  err.Write("splicery-cli: " + Shown(path) + ": " + msg::Reason(status) + "\n");
}

int Usage(OutputStream& err, const std::string& problem) {
  err.Write("splicery-cli: " + problem + "\n" + msg::CliUsage());
  return kExitUsage;
}

// --prune's number, after the option at argv[*i]; a non-empty text is the usage problem.
std::string ParseKeep(int argc, char** argv, int* i, Options* options) {
  const char* n = *i + 1 < argc ? argv[*i + 1] : "";
  char* end = nullptr;
  errno = 0;
  const unsigned long long keep = std::strtoull(n, &end, 10);
  if (n[0] < '1' || n[0] > '9' || *end != '\0' || errno != 0) return msg::PruneNeedsNumber();
  options->keep = static_cast<size_t>(keep);
  ++*i;
  return {};
}

// The action an option names; none for an option that is no action (or not known).
std::optional<Action> ActionOf(std::string_view arg, std::string_view action_flag,
                               const Options& options) {
  static const std::pair<std::string_view, Action> kActions[] = {
      {"--undo", Action::kUndo},       {"--prune", Action::kPrune}, {"--diff", Action::kDiff},
      {"--to-utf8", Action::kToUtf8},  {"--lint", Action::kLint},   {"--help", Action::kHelp},
      {"--version", Action::kVersion},
  };
  // --diff is the dry run of --to-utf8, whichever comes first.
  if (arg == "--to-utf8" && action_flag == "--diff" && !options.diff) return Action::kToUtf8;
  for (const auto& [name, action] : kActions) {
    if (arg == name) return action;
  }
  return std::nullopt;
}

// --check is an action of its own, or the dry run of --undo, --prune and --to-utf8.
std::string ApplyCheck(const std::string& action_flag, Options* options) {
  if (options->diff) return msg::DoNotGoTogether("--check", "--diff");
  if (options->action == Action::kUndo || options->action == Action::kPrune ||
      options->action == Action::kToUtf8) {
    options->dry_run = true;
  } else if (!action_flag.empty()) {
    return msg::DoNotGoTogether("--check", action_flag);
  } else {
    options->action = Action::kCheck;
  }
  return {};
}

// Reads the command line into *options; a non-empty text is the usage problem. --help and
// --version are actions too: beside another one they are a usage error.
std::string Parse(int argc, char** argv, Options* options) {
  std::string action_flag;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--check") {
      if (check) return msg::TwiceGiven("--check");
      check = true;
      continue;
    }
    if (arg == "--diff" && action_flag == "--to-utf8") {
      if (options->diff) return msg::TwiceGiven(arg);
      options->diff = true;
      continue;
    }
    if (arg == "-C") {
      if (options->dir) return msg::TwiceGiven("-C");
      // An empty name is no folder either.
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return msg::NeedsFolder();
      options->dir = argv[++i];
      continue;
    }
    const std::optional<Action> action = ActionOf(arg, action_flag, *options);
    if (!action) return msg::UnknownOption(arg);
    if (*action == Action::kToUtf8 && action_flag == "--diff") options->diff = true;
    if (*action == Action::kPrune) {
      if (std::string problem = ParseKeep(argc, argv, &i, options); !problem.empty()) {
        return problem;
      }
    }
    if (action_flag == arg) return msg::TwiceGiven(arg);
    if (!action_flag.empty() && !(*action == Action::kToUtf8 && action_flag == "--diff")) {
      return msg::DoNotGoTogether(action_flag, arg);
    }
    action_flag = arg;
    options->action = *action;
  }
  return check ? ApplyCheck(action_flag, options) : std::string();
}

int Lint(OutputStream& out, OutputStream& err) {
  PosixFileSystem fs;
  const std::vector<Finding> findings = LintSite(fs);
  bool serious = false;
  for (const Finding& finding : findings) {
    out.Write(Shown(FormatFinding(finding)) + "\n");
    serious = serious || finding.severity != Severity::kNote;
  }
  out.Flush();
  err.Write(FormatSummary(findings) + "\n");
  return serious ? kExitFailure : kExitOk;
}

// Undo and prune read the journal and include.txt, not the pages.
int RunHistory(const Options& options, Form& form, FileSystem& fs, OutputStream& out,
               OutputStream& err) {
  if (options.action == Action::kUndo) {
    const UndoResult undone = UndoLastRun(form, fs, options.dry_run);
    out.Flush();
    PrintReason(err, undone.failure);
    return undone.complete ? kExitOk : kExitFailure;
  }
  const PruneResult pruned = PruneBackups(form, fs, options.keep, options.dry_run);
  out.Flush();
  PrintReason(err, pruned.failure);
  return pruned.ok ? kExitOk : kExitFailure;
}

int RunToUtf8(const Options& options, Form& form, FileSystem& fs, const ChangeObserver& print_diff,
              OutputStream& out, OutputStream& err) {
  const bool dry_run = options.dry_run || options.diff;
  const MoveResult moved =
      MoveSiteToUtf8(form, fs, dry_run ? RunMode::kCheck : RunMode::kWrite, print_diff);
  out.Flush();
  if (!moved.reason.empty()) {
    err.Write("splicery-cli: " + Shown(moved.run.failure.path()) + ": " + moved.reason + "\n");
  } else {
    PrintReason(err, moved.run.failure);
  }
  const bool failed = moved.run.outcome != RunOutcome::kSuccess;
  return failed || moved.run.stale_pages > 0 ? kExitFailure : kExitOk;
}

// The run, its check and its diff, and the move to UTF-8, after the start-up scan.
int RunOverPages(const Options& options, Form& form, FileSystem& fs, bool diff, OutputStream& out,
                 OutputStream& err) {
  if (Status scanned = RunStartupScan(form, fs); !scanned) {
    PrintReason(err, scanned);
    return kExitFailure;  // never rewrite pages from a half-loaded setup
  }
  ChangeObserver print_diff;
  if (diff) print_diff = DiffPrinter([&out](std::string_view text) { out.Write(text); });
  if (options.action == Action::kToUtf8) {
    return RunToUtf8(options, form, fs, print_diff, out, err);
  }
  const RunMode mode = options.action == Action::kRun ? RunMode::kWrite : RunMode::kCheck;
  RunResult result = RunUpdate(form, fs, mode, print_diff);
  out.Flush();
  PrintReason(err, result.failure);
  if (result.outcome != RunOutcome::kSuccess || result.stale_pages > 0) return kExitFailure;
  return kExitOk;
}

int Run(int argc, char** argv, OutputStream& out, OutputStream& err) {
  Options options;
  if (std::string problem = Parse(argc, argv, &options); !problem.empty()) {
    return Usage(err, problem);
  }
  // Answered before -C: they need no folder.
  if (options.action == Action::kHelp) {
    out.Write(msg::CliUsage() + msg::CliHelp());
    return kExitOk;
  }
  if (options.action == Action::kVersion) {
    out.Write(std::string(Form::kCaption) + "\n");
    return kExitOk;
  }
  if (options.dir && ::chdir(options.dir) != 0) {
    return Usage(err, msg::FolderNotEntered(options.dir, errno));
  }
  if (options.action == Action::kLint) return Lint(out, err);

  // With --diff standard output carries the diff alone; every text goes to standard error.
  const bool diff = options.action == Action::kDiff || options.diff;
  OutputStream& texts = diff ? err : out;
  Form form;
  // Page lines are the window's detail line: standard output has no room for them.
  form.SetListener(
      [&, line = std::string()](LabelId, std::string_view text, TextKind kind) mutable {
        if (text.empty() || kind == TextKind::kPageLine) return;
        OutputStream& stream = kind == TextKind::kError ? err : texts;
        if (&stream == &err) out.Flush();  // keep the order of the texts across both streams
        line.clear();  // kept from text to text: two or three are printed for every page
        AppendShown(line, text);
        line += '\n';
        stream.Write(line);
      },
      false);
  PosixFileSystem fs;
  if (options.action == Action::kUndo || options.action == Action::kPrune) {
    return RunHistory(options, form, fs, out, err);
  }
  return RunOverPages(options, form, fs, diff, out, err);
}

}  // namespace

int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err) {
  OutputStream out_stream(out, msg::StandardOutput());
  OutputStream err_stream(err, msg::StandardError());
  const int code = Run(argc, argv, out_stream, err_stream);
  return FinishOutput(code, out_stream, err_stream);
}

}  // namespace splicery
