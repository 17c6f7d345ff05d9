// SPDX-License-Identifier: GPL-3.0-or-later
// Every German sentence the program says, built in one place: one function per sentence, so a
// wording is changed once and the texts the window, the CLI and the tests see cannot drift
// apart. Lower layers report codes and facts; the layers above the core turn them into text
// here. A sentence that reports a failure is of kind kError, and only those are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "files/status.h"

namespace splicery {

// kPageLine: a page line that the rewrite pass shows in the detail line while it reads it.
// kWaiting: said right before the command waits (for another run's lock): shown at once.
enum class TextKind { kStatus, kError, kPageLine, kWaiting };

struct Text {
  std::string text;
  TextKind kind = TextKind::kStatus;
};

namespace msg {

// --- Why a file operation failed (the reason line) ---
std::string ErrnoReason(int error);
std::string Reason(const Status& status);

// --- Failures that stop a command ---
Text ReadFailed(std::string_view file);    // "FEHLER beim Lesen von F"
Text AccessFailed(std::string_view file);  // "FEHLER beim Zugriff auf F"
Text WriteFailed(std::string_view file);   // "FEHLER beim Schreiben von F"
Text DeleteFailed(std::string_view file);  // "FEHLER beim Löschen von F"
Text MarkersUnpaired(std::string_view page);
inline constexpr std::string_view kTargetListShown = "INCLUDE.TXT";
inline constexpr std::string_view kIncludeSourceShown = "INCLUDE.HTM";

// --- Start-up scan ---
Text PagesFound(size_t count);
Text IncludeLinesFound(size_t count);

// --- The run and its check ---
Text PageWorkedOn(std::string_view page);
Text PageWritten(std::string_view page);
Text PageStale(std::string_view page);
Text RunSucceeded();
Text AllCurrent();
Text WaitingForLock();
std::string NothingWouldChange();  // the diff dialog's text for an empty diff

// --- Undo ---
Text NoRunToUndo();
Text ChangedSinceRun(std::string_view page);
Text BackupMissing(std::string_view page);
Text PageRestored(std::string_view page, bool dry_run);
Text RunUndone(uint64_t run, bool dry_run);

// --- Prune ---
Text BackupDeleted(std::string_view name, bool dry_run);
Text PruneSummary(size_t removed, size_t kept, bool dry_run);

// --- The CLI's own lines ---
std::string CliUsage();
std::string StandardOutput();
std::string StandardError();
std::string CliHelp();
std::string EmptyFileName();
// --- The window's launch and questions ---
std::string AppUsage();
std::string AppUsageLong();  // with the --help | --version line
std::string AppHelp();
std::string NoDisplay();
std::string UndoQuestion(uint64_t run, std::string_view when, size_t pages);
std::string FolderNotEntered(std::string_view folder, int error);
std::string TwiceGiven(std::string_view option);
std::string DoNotGoTogether(std::string_view first, std::string_view second);
std::string UnknownOption(std::string_view option);
std::string NeedsFolder();
std::string PruneNeedsNumber();

// --- Lint ---
std::string_view SeverityName(int severity);  // 0 Fehler, 1 Warnung, 2 Hinweis
std::string LintSummary(size_t errors, size_t warnings, size_t notes);
std::string CannotRead(std::string_view reason);
std::string PageCannotBeRead(std::string_view page, std::string_view reason);
std::string ListedTwice(std::string_view page, size_t first_line);
std::string EmptyLine();
std::string IncludeLineUnused();
std::string BackupCannotBeMade(std::string_view path, std::string_view reason);
std::string StartWithoutEnd();
std::string EndWithoutBlock();
std::string StartInsideBlock(size_t start_line);
std::string NoBlockNoStand();
std::string CannotBeWritten(std::string_view reason);
std::string HandEdit();
std::string BlockWithoutKey();
std::string NewsWithoutTemplate();
std::string KeyMatchesNothing();
std::string StandGivesNoEntry();
std::string OneDigitDate(std::string_view date);

// --- Feed and sitemap ---
inline constexpr std::string_view kSiteConfigShown = "SPLICERY.INI";
std::string IniNotUtf8();
std::string IniBadLine();
std::string IniBadSection();
std::string IniKeyOutsideSection(std::string_view key);
std::string IniDuplicateKey(std::string_view key, size_t first_line);
std::string IniUnknownSection(std::string_view section);
std::string IniUnknownKey(std::string_view key, std::string_view section);
std::string IniAddressMissing(std::string_view section);
std::string IniAddressMalformed(std::string_view address);
std::string IniFeedNeedsKey(std::string_view key);
std::string IniEntriesOutOfRange(std::string_view value, size_t most);
std::string IniFileOutside(std::string_view file);
std::string IniFileInBackupFolder(std::string_view file);
std::string IniFileIsConfiguration(std::string_view file);
std::string IniFileIsPage(std::string_view page, size_t line);
std::string IniSameFile(std::string_view file, size_t feed_line);
std::string IniNothingSwitchedOn();
std::string NoFeedEntries();
std::string RobotsTxtWithoutSitemap();
Text CreatedFileRemoved(std::string_view file, bool dry_run);

// --- Encodings: lint findings, the move to UTF-8 ---
std::string Pages(size_t count);  // "1 Seite", "N Seiten"
std::string LineDoesNotFitCharset(std::string_view encoding, bool utf8_in_single_byte);
std::string CharsetContradicted(std::string_view encoding);
std::string UnknownCharset(std::string_view label);
std::string Utf16Page();
std::string NoCharsetDeclared();
std::string IncludeTextConverted(std::string_view from, size_t pages, std::string_view to);
Text ConvertFailed(std::string_view file);  // "FEHLER beim Umwandeln von F"
std::string InvalidInEncoding(std::string_view encoding, size_t offset);
std::string Utf16NotConverted();
std::string LabelNotConvertible(std::string_view label);
Text FileConverted(std::string_view file, bool dry_run);
Text ToUtf8Succeeded(size_t files, bool dry_run);
Text AlreadyUtf8();
std::string ToUtf8Question(size_t pages);

// --- Feed and sitemap: parts removed ---
Text FileRemoved(std::string_view file);

// --- Link check ---
std::string LinkToMachinePath(std::string_view reference);
std::string LinkLeavesFolder(std::string_view reference);
std::string LinkToMissingFile(std::string_view reference);
std::string LinkWrongCase(std::string_view reference, std::string_view right);
std::string LinkWindows1252Name(std::string_view reference, std::string_view right);
std::string LinkWithBackslash(std::string_view reference);
std::string LinkIntoBackups(std::string_view reference);
std::string LinkToFolderWithoutIndex(std::string_view reference);
std::string AnchorMissing(std::string_view anchor, std::string_view target);
std::string LinkToUnlistedPage(std::string_view reference);
std::string PageNotLinked();
std::string BaseElsewhere(std::string_view base);
// A finding of a fragment or news template line, checked in `page`.
std::string CheckedIn(std::string_view finding, std::string_view page);

// --- Journal limits and undo outcomes ---
Text OutsideSite(std::string_view file);  // a journal line undo does not follow
Text AlreadyBack(std::string_view file);
Text RunNotUndone(uint64_t run, bool dry_run);
std::string JournalLineOutside(std::string_view file);  // --lint

}  // namespace msg
}  // namespace splicery
