// SPDX-License-Identifier: GPL-3.0-or-later
// Command line, printing of the status texts, exit codes.
#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/output_stream.h"
#include "core/form.h"
#include "files/posix_file_system.h"
#include "history/prune.h"
#include "history/undo.h"
#include "report/site_lint.h"
#include "report/site_report.h"
#include "scan/startup_scan.h"
#include "update/update_run.h"

namespace splicery {
namespace {

constexpr const char* kUsage =
    "Aufruf: splicery-cli [-C VERZEICHNIS] [--check | --diff | --lint]\n"
    "        splicery-cli [-C VERZEICHNIS] [--check] --undo | --prune N\n"
    "        splicery-cli --help | --version\n";

constexpr const char* kHelp =
    "Hält eine Web-Site aus handgeschriebenen HTML-Seiten aktuell: liest include.txt und\n"
    "include.htm, sichert jede Seite in splicery.sic, erneuert ihre INCLUDE-Blöcke und\n"
    "NEWS-Listen und schreibt sie zurück. Ohne Angabe einer Aktion läuft genau das.\n"
    "\n"
    "  -C VERZEICHNIS  in VERZEICHNIS arbeiten statt im aktuellen Verzeichnis\n"
    "  --check         nichts schreiben, nur melden, welche Seiten nicht aktuell sind\n"
    "                  und wo der Lauf scheitern würde\n"
    "  --diff          nichts schreiben, die Änderungen des Laufs als Unified Diff ausgeben\n"
    "                  (die Meldungen gehen dann auf die Standardfehlerausgabe)\n"
    "  --lint          nichts schreiben, die ganze Site prüfen und jeden Befund als\n"
    "                  DATEI:ZEILE: Fehler|Warnung|Hinweis: TEXT ausgeben\n"
    "  --undo          den letzten Lauf zurücknehmen: jede Seite, die er geändert hat und die\n"
    "                  seitdem niemand geändert hat, bekommt ihre Sicherung zurück\n"
    "  --prune N       je Seite nur die N neuesten Sicherungen behalten, ältere löschen\n"
    "                  (mit --check: nur sagen, was geschähe)\n"
    "  --help          diesen Text zeigen\n"
    "  --version       die Version zeigen\n"
    "\n"
    "Es gibt höchstens eine Aktion je Aufruf; -C passt zu jeder, --check auch zu --undo\n"
    "und --prune.\n"
    "Meldungen, die mit FEHLER beginnen, gehen auf die Standardfehlerausgabe, gefolgt von\n"
    "einer Zeile mit dem Grund: splicery-cli: PFAD: GRUND\n"
    "\n"
    "Rückgabewerte:\n"
    "  0  erfolgreich (mit --check und --diff: alle Seiten sind aktuell;\n"
    "     mit --lint: kein Fehler und keine Warnung)\n"
    "  1  ein Fehler wurde gemeldet (mit --check und --diff auch: eine Seite ist nicht\n"
    "     aktuell; mit --lint: ein Fehler oder eine Warnung wurde gefunden; mit --undo:\n"
    "     nicht jede Seite des Laufs kam zurück, oder es gab keinen Lauf),\n"
    "     oder die Ausgabe ließ sich nicht schreiben\n"
    "  2  falscher Aufruf\n";

enum class Action { kRun, kCheck, kDiff, kLint, kUndo, kPrune, kHelp, kVersion };

struct Options {
  Action action = Action::kRun;
  bool dry_run = false;  // --check beside --undo or --prune
  size_t keep = 0;       // --prune N
  const char* dir = nullptr;
};

// A text as a terminal can show it: a NUL byte (a page name may hold one) would vanish there,
// and the name would look like another one.
std::string Shown(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    if (c == '\0') {
      shown += "\\0";
    } else {
      shown += c;
    }
  }
  return shown;
}

// The line that says why, right after the FEHLER text it belongs to.
void PrintReason(OutputStream& err, const Status& status) {
  if (status.ok()) return;
  // An empty line of include.txt names no file; say so rather than print nothing.
  const std::string path = status.path().empty() ? "(leerer Dateiname)" : status.path();
  err.Write("splicery-cli: " + Shown(path) + ": " + status.reason() + "\n");
}

int Usage(OutputStream& err, const std::string& problem) {
  err.Write("splicery-cli: " + problem + "\n" + kUsage);
  return kExitUsage;
}

// Reads the command line into *options; a non-empty text is the usage problem.
std::string Parse(int argc, char** argv, Options* options) {
  std::string action_flag;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    Action action;
    if (arg == "--check") {
      if (check) return "--check ist doppelt angegeben";
      check = true;
      continue;
    } else if (arg == "--undo") {
      action = Action::kUndo;
    } else if (arg == "--prune") {
      action = Action::kPrune;
      const char* n = i + 1 < argc ? argv[i + 1] : "";
      char* end = nullptr;
      errno = 0;
      const unsigned long long keep = std::strtoull(n, &end, 10);
      if (n[0] < '1' || n[0] > '9' || *end != '\0' || errno != 0) {
        return "--prune verlangt eine Zahl ab 1";
      }
      options->keep = static_cast<size_t>(keep);
      ++i;
    } else if (arg == "--diff") {
      action = Action::kDiff;
    } else if (arg == "--lint") {
      action = Action::kLint;
    } else if (arg == "--help") {  // actions too: beside another one they are a usage error
      action = Action::kHelp;
    } else if (arg == "--version") {
      action = Action::kVersion;
    } else if (arg == "-C") {
      if (options->dir) return "-C ist doppelt angegeben";
      // An empty name is no folder either.
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return "-C verlangt ein Verzeichnis";
      options->dir = argv[++i];
      continue;
    } else {
      return "unbekannte Angabe: " + std::string(arg);
    }
    if (action_flag == arg) return std::string(arg) + " ist doppelt angegeben";
    if (!action_flag.empty()) {
      return action_flag + " und " + std::string(arg) + " gehen nicht zusammen";
    }
    action_flag = arg;
    options->action = action;
  }
  // --check is an action of its own, or the dry run of --undo and --prune.
  if (check) {
    if (options->action == Action::kUndo || options->action == Action::kPrune) {
      options->dry_run = true;
    } else if (!action_flag.empty()) {
      return "--check und " + action_flag + " gehen nicht zusammen";
    } else {
      options->action = Action::kCheck;
    }
  }
  return {};
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

int Run(int argc, char** argv, OutputStream& out, OutputStream& err) {
  Options options;
  if (std::string problem = Parse(argc, argv, &options); !problem.empty()) {
    return Usage(err, problem);
  }
  // Answered before -C: they need no folder.
  if (options.action == Action::kHelp) {
    out.Write(std::string(kUsage) + kHelp);
    return kExitOk;
  }
  if (options.action == Action::kVersion) {
    out.Write(std::string(Form::kCaption) + "\n");
    return kExitOk;
  }
  if (options.dir && ::chdir(options.dir) != 0) {
    return Usage(err, "Verzeichnis " + std::string(options.dir) +
                          " kann nicht betreten werden: " + ErrnoReason(errno));
  }
  if (options.action == Action::kLint) return Lint(out, err);

  // With --diff standard output carries the diff alone; every text goes to standard error.
  const bool diff = options.action == Action::kDiff;
  OutputStream& texts = diff ? err : out;
  Form form;
  form.SetListener([&](LabelId, std::string_view text, TextKind kind) {
    if (text.empty() || kind == TextKind::kPageLine) return;
    OutputStream& stream = text.starts_with("FEHLER") ? err : texts;
    if (&stream == &err) out.Flush();  // keep the order of the texts across both streams
    stream.Write(Shown(text));
    stream.Write("\n");
  });

  PosixFileSystem fs;
  // Undo and prune read the journal and include.txt, not the pages.
  if (options.action == Action::kUndo) {
    const UndoResult undone = UndoLastRun(form, fs, options.dry_run);
    out.Flush();
    PrintReason(err, undone.failure);
    return undone.complete ? kExitOk : kExitFailure;
  }
  if (options.action == Action::kPrune) {
    const PruneResult pruned = PruneBackups(form, fs, options.keep, options.dry_run);
    out.Flush();
    PrintReason(err, pruned.failure);
    return pruned.ok ? kExitOk : kExitFailure;
  }
  if (Status scanned = RunStartupScan(form, fs); !scanned) {
    PrintReason(err, scanned);
    return kExitFailure;  // never rewrite pages from a half-loaded setup
  }
  ChangeObserver print_diff;
  if (diff) print_diff = DiffPrinter([&out](std::string_view text) { out.Write(text); });
  const RunMode mode = options.action == Action::kRun ? RunMode::kWrite : RunMode::kCheck;
  RunResult result = RunUpdate(form, fs, mode, print_diff);
  out.Flush();
  PrintReason(err, result.failure);
  if (result.outcome != RunOutcome::kSuccess || result.stale_pages > 0) return kExitFailure;
  return kExitOk;
}

}  // namespace

int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err) {
  OutputStream out_stream(out, "Standardausgabe");
  OutputStream err_stream(err, "Standardfehlerausgabe");
  const int code = Run(argc, argv, out_stream, err_stream);
  return FinishOutput(code, out_stream, err_stream);
}

}  // namespace splicery
