// Command line, printing of the status texts, exit codes.
#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "core/form.h"
#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "update/update_run.h"

namespace splicery {
namespace {

constexpr const char* kUsage =
    "Aufruf: splicery-cli [-C VERZEICHNIS] [--check]\n"
    "        splicery-cli --help | --version\n";

constexpr const char* kHelp =
    "Hält eine Web-Site aus handgeschriebenen HTML-Seiten aktuell: liest include.txt und\n"
    "include.htm, sichert jede Seite in splicery.sic, erneuert ihre INCLUDE-Blöcke und\n"
    "NEWS-Listen und schreibt sie zurück.\n"
    "\n"
    "  -C VERZEICHNIS  in VERZEICHNIS arbeiten statt im aktuellen Verzeichnis\n"
    "  --check         nichts schreiben, nur melden, welche Seiten nicht aktuell sind\n"
    "  --help          diesen Text zeigen\n"
    "  --version       die Version zeigen\n"
    "\n"
    "Meldungen, die mit FEHLER beginnen, gehen auf die Standardfehlerausgabe, gefolgt von\n"
    "einer Zeile mit dem Grund: splicery-cli: PFAD: GRUND\n"
    "\n"
    "Rückgabewerte:\n"
    "  0  erfolgreich (mit --check: alle Seiten sind aktuell)\n"
    "  1  ein Fehler wurde gemeldet (mit --check auch: eine Seite ist nicht aktuell)\n"
    "  2  falscher Aufruf\n";

// The line that says why, right after the FEHLER text it belongs to.
void PrintReason(std::FILE* err, const Status& status) {
  if (status.ok()) return;
  std::fprintf(err, "splicery-cli: %s: %s\n", status.path().c_str(), status.reason().c_str());
}

int Usage(std::FILE* err, const std::string& problem) {
  std::fprintf(err, "splicery-cli: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

}  // namespace

int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err) {
  const char* dir = nullptr;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fprintf(out, "%s%s", kUsage, kHelp);
      return kExitOk;
    }
    if (arg == "--version") {
      std::fprintf(out, "%s\n", std::string(Form::kCaption).c_str());
      return kExitOk;
    }
    if (arg == "--check") {
      if (check) return Usage(err, "--check ist doppelt angegeben");
      check = true;
    } else if (arg == "-C") {
      if (dir) return Usage(err, "-C ist doppelt angegeben");
      if (i + 1 >= argc) return Usage(err, "-C verlangt ein Verzeichnis");
      dir = argv[++i];
    } else {
      return Usage(err, "unbekannte Angabe: " + std::string(arg));
    }
  }
  if (dir && ::chdir(dir) != 0) {
    return Usage(err, "Verzeichnis " + std::string(dir) +
                          " kann nicht betreten werden: " + ErrnoReason(errno));
  }

  Form form;
  form.SetListener([&](LabelId, std::string_view text, TextKind kind) {
    if (text.empty() || kind == TextKind::kPageLine) return;
    std::FILE* stream = text.starts_with("FEHLER") ? err : out;
    if (stream == err) std::fflush(out);  // keep the order of the texts across both streams
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
  });

  PosixFileSystem fs;
  if (Status scanned = RunStartupScan(form, fs); !scanned) {
    PrintReason(err, scanned);
    return kExitFailure;  // never rewrite pages from a half-loaded setup
  }
  RunResult result = RunUpdate(form, fs, check ? RunMode::kCheck : RunMode::kWrite);
  PrintReason(err, result.failure);
  std::fflush(out);
  if (result.outcome != RunOutcome::kSuccess || result.stale_pages > 0) return kExitFailure;
  return kExitOk;
}

}  // namespace splicery
