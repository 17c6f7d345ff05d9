// Command line, printing of the status texts, exit codes.
#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/output_stream.h"
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
    "                  und wo der Lauf scheitern würde\n"
    "  --help          diesen Text zeigen\n"
    "  --version       die Version zeigen\n"
    "\n"
    "Meldungen, die mit FEHLER beginnen, gehen auf die Standardfehlerausgabe, gefolgt von\n"
    "einer Zeile mit dem Grund: splicery-cli: PFAD: GRUND\n"
    "\n"
    "Rückgabewerte:\n"
    "  0  erfolgreich (mit --check: alle Seiten sind aktuell)\n"
    "  1  ein Fehler wurde gemeldet (mit --check auch: eine Seite ist nicht aktuell),\n"
    "     oder die Ausgabe ließ sich nicht schreiben\n"
    "  2  falscher Aufruf\n";

// The line that says why, right after the FEHLER text it belongs to.
void PrintReason(OutputStream& err, const Status& status) {
  if (status.ok()) return;
  err.Write("splicery-cli: " + status.path() + ": " + status.reason() + "\n");
}

int Usage(OutputStream& err, const std::string& problem) {
  err.Write("splicery-cli: " + problem + "\n" + kUsage);
  return kExitUsage;
}

int Run(int argc, char** argv, OutputStream& out, OutputStream& err) {
  const char* dir = nullptr;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help") {
      out.Write(std::string(kUsage) + kHelp);
      return kExitOk;
    }
    if (arg == "--version") {
      out.Write(std::string(Form::kCaption) + "\n");
      return kExitOk;
    }
    if (arg == "--check") {
      if (check) return Usage(err, "--check ist doppelt angegeben");
      check = true;
    } else if (arg == "-C") {
      if (dir) return Usage(err, "-C ist doppelt angegeben");
      // An empty name is no folder either.
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage(err, "-C verlangt ein Verzeichnis");
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
    OutputStream& stream = text.starts_with("FEHLER") ? err : out;
    if (&stream == &err) out.Flush();  // keep the order of the texts across both streams
    stream.Write(text);
    stream.Write("\n");
  });

  PosixFileSystem fs;
  if (Status scanned = RunStartupScan(form, fs); !scanned) {
    PrintReason(err, scanned);
    return kExitFailure;  // never rewrite pages from a half-loaded setup
  }
  RunResult result = RunUpdate(form, fs, check ? RunMode::kCheck : RunMode::kWrite);
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
