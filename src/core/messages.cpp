// SPDX-License-Identifier: GPL-3.0-or-later
// The German texts.
#include "core/messages.h"

#include <cerrno>
#include <cstring>

namespace splicery::msg {
namespace {

Text Error(std::string text) { return {std::move(text), TextKind::kError}; }
Text Say(std::string text) { return {std::move(text), TextKind::kStatus}; }
std::string S(std::string_view text) { return std::string(text); }
// "Datei PAGE WHAT" in one allocation: a run says it for every page.
Text AboutPage(std::string_view page, std::string_view what) {
  std::string text;
  text.reserve(6 + page.size() + what.size());
  return Say(std::move(text.append("Datei ").append(page).append(what)));
}

}  // namespace

std::string ErrnoReason(int error) {
  switch (error) {
    case ENOENT:
      return "nicht vorhanden";
    case ENOTDIR:
      return "kein Verzeichnis";
    case EACCES:
    case EPERM:
      return "keine Berechtigung";
    case ENOSPC:
    case EDQUOT:
      return "kein Platz auf dem Datenträger";
    case EROFS:
      return "Dateisystem ist schreibgeschützt";
    case ENAMETOOLONG:
      return "Name zu lang";
    case EISDIR:
      return "ist ein Verzeichnis";
    case ELOOP:
      return "zu viele symbolische Verknüpfungen";
    case EIO:
      return "Ein-/Ausgabefehler";
    case EPIPE:
      return "Empfänger hat die Verbindung geschlossen";
    // Only the file layer's own checks give EINVAL: a FIFO, a device or a socket where a file
    // was expected (the flags it passes are always valid).
    case EINVAL:
      return "keine gewöhnliche Datei";
    case EBADF:
      return "nicht geöffnet";
    case EEXIST:
      return "schon vorhanden";
    case EFBIG:
    case EOVERFLOW:
      return "Datei zu groß";
    case EMFILE:
    case ENFILE:
      return "zu viele offene Dateien";
    case ENOMEM:
      return "nicht genug Arbeitsspeicher";
    case EBUSY:
    case ETXTBSY:
      return "wird gerade benutzt";
    case ENXIO:
    case ENODEV:
      return "kein solches Gerät";
    case EOPNOTSUPP:
      return "vom Dateisystem nicht unterstützt";
    case ETIMEDOUT:
      return "Zeitüberschreitung";
    case ESTALE:
      return "veralteter Verweis auf eine Netzwerkdatei";
    default:
      return std::strerror(error);
  }
}

std::string Reason(const Status& status) {
  if (status.error() != 0) return ErrnoReason(status.error());
  switch (status.code()) {
    case Code::kOk:
      return "";
    case Code::kChangedSinceRead:
      return "seit dem Lesen geändert";
    case Code::kOwnerNotGiven:
      return "Besitzer oder Gruppe lassen sich nicht übernehmen";
    case Code::kBackupOutside:
      return "Sicherung läge außerhalb von splicery.sic";
    case Code::kUtf16:
      return "UTF-16-kodiert; bitte als UTF-8 speichern";
    case Code::kUnknownFormat:
      return "unbekanntes Format (erste Zeile ist nicht \"splicery-journal\t1\")";
    case Code::kStartWithoutEnd:
      return StartWithoutEnd();
    case Code::kConfigProblem:
      return status.detail();
    case Code::kAttributeNotGiven:
      return "erweiterte Attribute oder ACL lassen sich nicht übernehmen";
    case Code::kSymbolicLink:
      return "ist eine symbolische Verknüpfung";
    case Code::kSystem:
    case Code::kNotFound:
    case Code::kPermission:
    case Code::kExists:
    case Code::kNameTooLong:
      break;
  }
  return "unbekannter Fehler";
}

Text ReadFailed(std::string_view file) { return Error("FEHLER beim Lesen von " + S(file)); }
Text AccessFailed(std::string_view file) { return Error("FEHLER beim Zugriff auf " + S(file)); }
Text WriteFailed(std::string_view file) { return Error("FEHLER beim Schreiben von " + S(file)); }
Text DeleteFailed(std::string_view file) { return Error("FEHLER beim Löschen von " + S(file)); }
Text MarkersUnpaired(std::string_view page) {
  return Error("FEHLER: INCLUDE START/END paßt nicht in " + S(page));
}

Text PagesFound(size_t count) {
  return Say(" " + std::to_string(count) + " Dateien werden bearbeitet");
}
Text IncludeLinesFound(size_t count) {
  return Say(" " + std::to_string(count) + " Include-Zeilen in INCLUDE.HTM gefunden");
}

Text PageWorkedOn(std::string_view page) { return AboutPage(page, " wird bearbeitet"); }
Text PageWritten(std::string_view page) { return AboutPage(page, " wird geschrieben"); }
Text PageStale(std::string_view page) { return AboutPage(page, " ist nicht aktuell"); }
Text RunSucceeded() { return Say("INCLUDE wurde erfolgreich durchgeführt"); }
Text AllCurrent() { return Say("Alle Dateien sind aktuell"); }
Text WaitingForLock() {
  return {"Warte auf einen anderen Lauf in diesem Ordner ...", TextKind::kWaiting};
}
std::string NothingWouldChange() {
  return "Alle Dateien sind aktuell: der Lauf würde nichts ändern.\n";
}

Text NoRunToUndo() { return Say("Kein Lauf zum Rückgängigmachen"); }
Text ChangedSinceRun(std::string_view page) {
  return Say("Datei " + S(page) + " wurde seit dem Lauf geändert und bleibt, wie sie ist");
}
Text BackupMissing(std::string_view page) {
  return Say("Sicherung von Datei " + S(page) + " fehlt oder wurde verändert; Datei " + S(page) +
             " bleibt, wie sie ist");
}
Text PageRestored(std::string_view page, bool dry_run) {
  return Say("Datei " + S(page) + (dry_run ? " würde zurückgesetzt" : " wird zurückgesetzt"));
}
Text RunUndone(uint64_t run, bool dry_run) {
  return Say("Lauf " + std::to_string(run) +
             (dry_run ? " würde rückgängig gemacht" : " wurde rückgängig gemacht"));
}

Text BackupDeleted(std::string_view name, bool dry_run) {
  return Say("Sicherung " + S(name) + (dry_run ? " würde gelöscht" : " wird gelöscht"));
}
Text PruneSummary(size_t removed, size_t kept, bool dry_run) {
  const char* what = removed == 1 ? (dry_run ? " Sicherung würde" : " Sicherung")
                                  : (dry_run ? " Sicherungen würden" : " Sicherungen");
  return Say(std::to_string(removed) + what + " gelöscht, " + std::to_string(kept) + " behalten");
}

std::string StandardOutput() { return "Standardausgabe"; }
std::string StandardError() { return "Standardfehlerausgabe"; }
std::string CliUsage() {
  return "Aufruf: splicery-cli [-C VERZEICHNIS] [--check | --diff | --lint]\n"
         "        splicery-cli [-C VERZEICHNIS] [--check] --undo | --prune N\n"
         "        splicery-cli [-C VERZEICHNIS] [--check | --diff] --to-utf8\n"
         "        splicery-cli --help | --version\n";
}

std::string CliHelp() {
  return "Hält eine Web-Site aus handgeschriebenen HTML-Seiten aktuell: liest include.txt und\n"
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
         "  --undo          den letzten Lauf zurücknehmen: jede Seite, die er geändert hat und "
         "die\n"
         "                  seitdem niemand geändert hat, bekommt ihre Sicherung zurück\n"
         "  --prune N       je Seite nur die N neuesten Sicherungen behalten, ältere löschen\n"
         "                  (mit --check: nur sagen, was geschähe)\n"
         "  --to-utf8       die ganze Site nach UTF-8 umwandeln: include.htm und jede Seite,\n"
         "                  die noch nicht UTF-8 ist, erklären danach UTF-8; alle Blöcke werden\n"
         "                  im selben Lauf erneuert; --undo nimmt die Umwandlung zurück\n"
         "                  (mit --check oder --diff: nur sagen oder zeigen, was geschähe)\n"
         "  --help          diesen Text zeigen\n"
         "  --version       die Version zeigen\n"
         "\n"
         "Es gibt höchstens eine Aktion je Aufruf; -C passt zu jeder, --check auch zu --undo,\n"
         "--prune und --to-utf8, --diff auch zu --to-utf8.\n"
         "Meldungen, die mit FEHLER beginnen, gehen auf die Standardfehlerausgabe, gefolgt von\n"
         "einer Zeile mit dem Grund: splicery-cli: PFAD: GRUND\n"
         "\n"
         "Rückgabewerte:\n"
         "  0  erfolgreich (mit --check und --diff: alle Seiten sind aktuell, mit --to-utf8:\n"
         "     die Site ist schon UTF-8;\n"
         "     mit --lint: kein Fehler und keine Warnung)\n"
         "  1  ein Fehler wurde gemeldet (mit --check und --diff auch: eine Seite ist nicht\n"
         "     aktuell oder würde umgewandelt; mit --lint: ein Fehler oder eine Warnung wurde "
         "gefunden; mit --undo:\n"
         "     nicht jede Seite des Laufs kam zurück, oder es gab keinen Lauf),\n"
         "     oder die Ausgabe ließ sich nicht schreiben\n"
         "  2  falscher Aufruf\n";
}

std::string EmptyFileName() { return "(leerer Dateiname)"; }

std::string AppUsage() { return "Aufruf: splicery [ORDNER]"; }
std::string AppUsageLong() { return AppUsage() + "\n        splicery --help | --version\n"; }
std::string AppHelp() {
  return AppUsage() +
         "\nÖffnet das Fenster für die Web-Site in ORDNER (ohne Angabe: im aktuellen "
         "Ordner).\nOhne Bildschirm: splicery-cli (siehe splicery-cli --help).\n";
}
std::string NoDisplay() {
  return "splicery: Kein Bildschirm erreichbar, das Fenster kann nicht geöffnet werden.\n"
         "Ohne Bildschirm arbeitet splicery-cli im Ordner der Web-Site: splicery-cli -C ORDNER\n";
}
std::string UndoQuestion(uint64_t run, std::string_view when, size_t pages) {
  return "Lauf " + std::to_string(run) + " vom " + S(when) + " rückgängig machen? Er hat " +
         (pages == 1 ? std::string("1 Seite") : std::to_string(pages) + " Seiten") +
         " geändert.\n\nJede dieser Seiten, die seitdem niemand geändert hat, bekommt ihren "
         "Inhalt von vor dem Lauf zurück; ihr jetziger Inhalt wird vorher gesichert.";
}
std::string FolderNotEntered(std::string_view folder, int error) {
  return "Verzeichnis " + S(folder) + " kann nicht betreten werden: " + ErrnoReason(error);
}
std::string TwiceGiven(std::string_view option) { return S(option) + " ist doppelt angegeben"; }
std::string DoNotGoTogether(std::string_view first, std::string_view second) {
  return S(first) + " und " + S(second) + " gehen nicht zusammen";
}
std::string UnknownOption(std::string_view option) { return "unbekannte Angabe: " + S(option); }
std::string NeedsFolder() { return "-C verlangt ein Verzeichnis"; }
std::string PruneNeedsNumber() { return "--prune verlangt eine Zahl ab 1"; }

std::string_view SeverityName(int severity) {
  static constexpr std::string_view kNames[] = {"Fehler", "Warnung", "Hinweis"};
  return kNames[severity];
}
std::string LintSummary(size_t errors, size_t warnings, size_t notes) {
  return std::to_string(errors) + " Fehler, " + std::to_string(warnings) +
         (warnings == 1 ? " Warnung, " : " Warnungen, ") + std::to_string(notes) +
         (notes == 1 ? " Hinweis" : " Hinweise");
}
std::string CannotRead(std::string_view reason) {
  return "Datei kann nicht gelesen werden: " + S(reason);
}
std::string PageCannotBeRead(std::string_view page, std::string_view reason) {
  return "Datei " + S(page) + " kann nicht gelesen werden: " + S(reason);
}
std::string ListedTwice(std::string_view page, size_t first_line) {
  return "Datei " + S(page) + " ist schon in Zeile " + std::to_string(first_line) +
         " aufgeführt und wird zweimal bearbeitet";
}
std::string EmptyLine() { return "leere Zeile: der Lauf bricht hier ab"; }
std::string IncludeLineUnused() { return "Include-Zeile wird von keinem Block verwendet"; }
std::string BackupCannotBeMade(std::string_view path, std::string_view reason) {
  return "Sicherung kann nicht angelegt werden: " + S(path) + ": " + S(reason);
}
std::string StartWithoutEnd() { return "INCLUDE START ohne INCLUDE END"; }
std::string EndWithoutBlock() {
  return "INCLUDE END ohne offenen Block: die Zeile bleibt, wie sie ist";
}
std::string StartInsideBlock(size_t start_line) {
  return "INCLUDE START im offenen Block aus Zeile " + std::to_string(start_line) +
         ": die Zeile zählt als Schlüsselzeile";
}
std::string NoBlockNoStand() { return "Datei hat weder einen INCLUDE-Block noch eine Stand-Zeile"; }
std::string CannotBeWritten(std::string_view reason) {
  return "Datei kann nicht geschrieben werden: " + S(reason);
}
std::string HandEdit() {
  return "von Hand geänderte Zeile im Block: der nächste Lauf ersetzt sie; "
         "der Ort für die Änderung ist die Include-Zeile in include.htm";
}
std::string BlockWithoutKey() { return "Block ohne Schlüsselzeile: er bleibt leer"; }
std::string NewsWithoutTemplate() {
  return "NEWS-Block, aber include.htm hat keine NEWS-Vorlage: er bleibt leer";
}
std::string KeyMatchesNothing() { return "Schlüsselzeile passt zu keiner Include-Zeile"; }
std::string StandGivesNoEntry() {
  return "Stand-Zeile ergibt keinen News-Eintrag (erwartet: TT.MM.JJJJ <!-- Titel -->)";
}
std::string OneDigitDate(std::string_view date) {
  return "Datum " + S(date) + " mit einstelligem Tag oder Monat wird falsch einsortiert";
}

// --- Feed and sitemap ---
std::string IniNotUtf8() { return "Zeile ist kein gültiges UTF-8"; }
std::string IniBadLine() {
  return "Zeile ist weder [Abschnitt] noch Schlüssel = Wert noch Kommentar";
}
std::string IniBadSection() { return "Abschnittszeile ohne Namen oder ohne ]"; }
std::string IniKeyOutsideSection(std::string_view key) {
  return "Schlüssel " + S(key) + " steht vor dem ersten [Abschnitt]";
}
std::string IniDuplicateKey(std::string_view key, size_t first_line) {
  return "Schlüssel " + S(key) + " ist schon in Zeile " + std::to_string(first_line) + " angegeben";
}
std::string IniUnknownSection(std::string_view section) {
  return "unbekannter Abschnitt [" + S(section) + "] (bekannt: [site], [feed], [sitemap])";
}
std::string IniUnknownKey(std::string_view key, std::string_view section) {
  return "unbekannter Schlüssel " + S(key) + " in [" + S(section) + "]";
}
std::string IniAddressMissing(std::string_view section) {
  return "[" + S(section) + "] verlangt adresse in [site]";
}
std::string IniAddressMalformed(std::string_view address) {
  return "adresse " + S(address) + " ist keine absolute http- oder https-Adresse mit / am Ende";
}
std::string IniFeedNeedsKey(std::string_view key) {
  return "[feed] verlangt " + S(key) + " in [site]";
}
std::string IniEntriesOutOfRange(std::string_view value, size_t most) {
  return "eintraege = " + S(value) + ": erwartet wird eine Zahl von 1 bis " + std::to_string(most);
}
std::string IniFileOutside(std::string_view file) {
  return "datei " + S(file) + " nennt keine Datei im Ordner der Site";
}
std::string IniFileInBackupFolder(std::string_view file) {
  return "datei " + S(file) + " liegt in splicery.sic";
}
std::string IniFileIsConfiguration(std::string_view file) {
  return "datei darf nicht " + S(file) + " sein";
}
std::string IniFileIsPage(std::string_view page, size_t line) {
  return "datei " + S(page) + " ist eine Seite aus include.txt (Zeile " + std::to_string(line) +
         ")";
}
std::string IniSameFile(std::string_view file, size_t feed_line) {
  return "datei " + S(file) + " ist schon die Datei des Feeds (Zeile " + std::to_string(feed_line) +
         ")";
}
std::string IniNothingSwitchedOn() {
  return "weder [feed] noch [sitemap]: splicery.ini schaltet nichts ein";
}
std::string NoFeedEntries() { return "keine Einträge für den Feed"; }
Text CreatedFileRemoved(std::string_view file, bool dry_run) {
  return Say("Datei " + S(file) + (dry_run ? " würde gelöscht" : " wird gelöscht") +
             " (der Lauf hat sie angelegt)");
}
std::string RobotsTxtWithoutSitemap() {
  return "robots.txt hat keine Zeile Sitemap: mit der Adresse der Sitemap";
}

// --- Encodings: lint findings, the move to UTF-8 ---
std::string Pages(size_t count) {
  return count == 1 ? std::string("1 Seite") : std::to_string(count) + " Seiten";
}
std::string LineDoesNotFitCharset(std::string_view encoding, bool utf8_in_single_byte) {
  return "Zeile passt nicht zum Zeichensatz der Seite (" + S(encoding) +
         "): " + (utf8_in_single_byte ? "UTF-8-Zeichen" : "Bytes, die kein UTF-8 sind");
}
std::string CharsetContradicted(std::string_view encoding) {
  return "Seite erklärt den Zeichensatz " + S(encoding) + ", ihre Bytes passen aber nicht dazu";
}
std::string UnknownCharset(std::string_view label) {
  return "unbekannter Zeichensatz „" + S(label) +
         "“: Text wird in diese Seite unverändert eingefügt";
}
std::string Utf16Page() {
  return "Seite ist in UTF-16 gespeichert: ihre Blöcke werden nicht gefunden; "
         "als UTF-8 speichern";
}
std::string NoCharsetDeclared() {
  return "Seite enthält Zeichen außerhalb von ASCII, erklärt aber keinen Zeichensatz";
}
std::string IncludeTextConverted(std::string_view from, size_t pages, std::string_view to) {
  return "Text aus include.htm (" + S(from) + ") wird in " + Pages(pages) + " nach " + S(to) +
         " umgewandelt";
}
Text ConvertFailed(std::string_view file) { return Error("FEHLER beim Umwandeln von " + S(file)); }
std::string InvalidInEncoding(std::string_view encoding, size_t offset) {
  return "Byte " + std::to_string(offset + 1) + " ist in " + S(encoding) + " nicht erlaubt";
}
std::string Utf16NotConverted() {
  return "die Datei ist in UTF-16 gespeichert; sie wird nicht umgewandelt";
}
std::string LabelNotConvertible(std::string_view label) {
  return "der Zeichensatz „" + S(label) + "“ ist unbekannt; die Datei wird nicht umgewandelt";
}
Text FileConverted(std::string_view file, bool dry_run) {
  return Say("Datei " + S(file) +
             (dry_run ? " würde nach UTF-8 umgewandelt" : " wird nach UTF-8 umgewandelt"));
}
Text ToUtf8Succeeded(size_t files, bool dry_run) {
  const bool one = files == 1;
  return Say(std::to_string(files) + (one ? " Datei " : " Dateien ") +
             (dry_run ? (one ? "würde" : "würden") : (one ? "wurde" : "wurden")) +
             " nach UTF-8 umgewandelt");
}
Text AlreadyUtf8() { return Say("Die Website ist schon in UTF-8: nichts umzuwandeln"); }
std::string ToUtf8Question(size_t pages) {
  return "Website nach UTF-8 umwandeln? " + Pages(pages) +
         " und include.htm werden umgewandelt und erklären danach UTF-8.\n\nJede Datei wird "
         "vorher gesichert; „Letzten Lauf rückgängig machen“ nimmt die Umwandlung zurück.";
}

// --- Feed and sitemap: parts removed ---
Text FileRemoved(std::string_view file) { return Say("Datei " + S(file) + " wird gelöscht"); }

// --- Link check ---
std::string LinkToMachinePath(std::string_view reference) {
  return "Verweis auf einen Pfad dieses Rechners: " + S(reference);
}
std::string LinkLeavesFolder(std::string_view reference) {
  return "Verweis verlässt den Ordner: " + S(reference);
}
std::string LinkToMissingFile(std::string_view reference) {
  return "Verweis auf fehlende Datei " + S(reference);
}
std::string LinkWrongCase(std::string_view reference, std::string_view right) {
  return "Verweis auf " + S(reference) + ", die Datei heißt " + S(right);
}
std::string LinkWindows1252Name(std::string_view reference, std::string_view right) {
  return "Verweis auf " + S(reference) + ", die Datei heißt " + S(right) + " (windows-1252)";
}
std::string LinkWithBackslash(std::string_view reference) {
  return "Verweis mit \\ statt /: " + S(reference);
}
std::string LinkIntoBackups(std::string_view reference) {
  return "Verweis in den Sicherungsordner: " + S(reference);
}
std::string LinkToFolderWithoutIndex(std::string_view reference) {
  return "Verweis auf den Ordner " + S(reference) + " ohne index.htm oder index.html";
}
std::string AnchorMissing(std::string_view anchor, std::string_view target) {
  return "Anker #" + S(anchor) + " fehlt in " + S(target);
}
std::string LinkToUnlistedPage(std::string_view reference) {
  return "Verweis auf " + S(reference) + ", die nicht in include.txt steht";
}
std::string PageNotLinked() { return "Datei wird von keiner Seite verlinkt"; }
std::string BaseElsewhere(std::string_view base) {
  return "<base href> zeigt auf " + S(base) +
         ": die relativen Verweise der Seite werden nicht geprüft";
}
std::string CheckedIn(std::string_view finding, std::string_view page) {
  return S(finding) + " (geprüft in " + S(page) + ")";
}

// --- Journal limits and undo outcomes ---
Text OutsideSite(std::string_view file) {
  return Say("Datei " + S(file) + " liegt außerhalb des Ordners und wird nicht zurückgesetzt");
}
Text AlreadyBack(std::string_view file) {
  return Say("Datei " + S(file) + " hat schon ihren Inhalt von vor dem Lauf");
}
Text RunNotUndone(uint64_t run, bool dry_run) {
  return Say("Lauf " + std::to_string(run) +
             (dry_run ? " würde nicht rückgängig gemacht: keine Datei käme zurück"
                      : " wurde nicht rückgängig gemacht: keine Datei kam zurück"));
}
std::string JournalLineOutside(std::string_view file) {
  return "die Zeile nennt Datei " + S(file) +
         " außerhalb des Ordners oder eine Sicherung, die nicht ihre ist; sie wird übergangen";
}

}  // namespace splicery::msg
