// SPDX-License-Identifier: GPL-3.0-or-later
// The run journal splicery.sic/journal.tsv: what every writing run did, one line per fact, so
// that a run can be taken back and old backups pruned. Append-only, tab-separated, readable:
//
//   splicery-journal	1
//   run	N	2026-12-07T10:40:00Z	update     (or: undo M, the run it takes back;
//   or: to-utf8, a move of the site to UTF-8, include.htm among its files)
//   page	N	PATH	BACKUP	OLD	NEW	BLOCKS
//   created	N	PATH	NEW                    (a file the run made: feed, sitemap)
//   removed	N	PATH	BACKUP	OLD            (a file the run removed: a sitemap part)
//   written	N	PATH	yes|no                 (after a batch's commit: whether PATH was
//   written)
//   incomplete	N                              (undo N failed: the run it names is not taken back)
//
// OLD and NEW are hashes of the page's bytes before and after (NEW is "=" when the page was
// left as it was), BLOCKS the hashes of the lines generated into each block, in page order,
// joined by "," ("-" for none). PATH and BACKUP escape tab, LF, CR and backslash as \t \n \r \\.
// A line without its LF (torn by a killed run) and any line that does not parse are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace splicery {

inline constexpr const char* kJournalFile = "splicery.sic/journal.tsv";
inline constexpr std::string_view kJournalHeader = "splicery-journal\t1\n";

// The hash the journal keeps of some bytes (XXH3, 64 bits).
uint64_t JournalHash(std::string_view bytes);

struct JournalPage {
  std::string path;
  std::string backup;
  uint64_t old_hash = 0;
  std::optional<uint64_t> new_hash;  // none: left unchanged
  std::vector<uint64_t> blocks;
  bool created = false;  // the run made the file: no backup, no old bytes
  bool removed = false;  // the run removed the file: no new bytes
  std::optional<bool> written =
      std::nullopt;     // the run's word after its commit; none where it is missing
  uint64_t offset = 0;  // where its line begins in the journal (not a fact)

  bool operator==(const JournalPage& o) const {
    return path == o.path && backup == o.backup && old_hash == o.old_hash &&
           new_hash == o.new_hash && blocks == o.blocks && created == o.created &&
           removed == o.removed && written == o.written;
  }
  // Whether the run replaced (or removed) the file and did not say it failed to.
  bool Replaced() const { return (new_hash || removed) && written.value_or(true); }
};

struct JournalRun {
  uint64_t number = 0;
  std::string time;                // UTC, ISO 8601
  std::optional<uint64_t> undoes;  // the run this one took back
  std::vector<JournalPage> pages;
  bool to_utf8 = false;     // a move to UTF-8 rather than an update
  bool incomplete = false;  // an undo that failed: the run it names is not taken back

  bool operator==(const JournalRun&) const = default;
};

std::string FormatRunLine(const JournalRun& run);
std::string FormatPageLine(uint64_t run, const JournalPage& page);
std::string FormatWrittenLine(uint64_t run, std::string_view path, bool written);
std::string FormatIncompleteLine(uint64_t run);

// Gathers journal lines, oldest first, into runs: a line of another run than the one open is
// dropped, and so is one that does not parse.
class RunAssembler {
 public:
  // Adds a line (without its LF) that begins at `offset`; a run finished by it goes to *done.
  void Add(std::string_view line, uint64_t offset, std::optional<JournalRun>* done);
  // The run still open, if any.
  std::optional<JournalRun> Finish();

 private:
  std::optional<JournalRun> run_;
  std::map<std::string, size_t, std::less<>> last_;  // each path's newest page of the run
};

// Fails for a journal of another format, or none this program wrote: it is neither read as
// one nor written to.
Status CheckJournal(std::string_view bytes);

// Every run the journal holds, in order; page lines of an unknown run are dropped.
std::vector<JournalRun> ParseJournal(std::string_view bytes);

// The one reader of the journal file: every run in it, none for a journal that does not exist
// yet. Fails for an unreadable journal or one of another format.
Status ReadJournal(FileSystem& fs, std::vector<JournalRun>* runs);

// The runs an undo has taken back (an undo that failed takes back none).
std::set<uint64_t> UndoneRuns(const std::vector<JournalRun>& runs);

// The newest run that replaced at least one page and is neither an undo nor undone yet.
const JournalRun* LastUndoableRun(const std::vector<JournalRun>& runs);

// Now, as the journal writes a run's start time: UTC, ISO 8601.
std::string JournalTime();
// A start time as JournalTime writes it, in nanoseconds since 1970; none for another text.
std::optional<int64_t> ParseJournalTime(const std::string& time);

// The journal as one writing run keeps it: opened once the run's first backup exists, its page
// lines gathered in memory and appended right before the pages they describe are made durable
// (and so before any of them is replaced).
class JournalWriter {
 public:
  JournalWriter(FileSystem& fs, std::string time, std::optional<uint64_t> undoes = {})
      : fs_(fs), run_{0, std::move(time), undoes, {}, false} {}

  // Reads the journal for the next run number and appends the header (for a new journal) and
  // the run's line.
  Status Open();
  bool is_open() const { return open_; }
  // Journals the run as a move to UTF-8; before Open.
  void MarkToUtf8() { run_.to_utf8 = true; }
  uint64_t number() const { return run_.number; }

  // Gathers a page's line; its run number is set when it is written.
  void Add(JournalPage page) { pending_.push_back(std::move(page)); }
  // Appends the gathered lines; true in *wrote when there were any.
  Status Write(bool* wrote = nullptr);
  // After a batch's commit: whether each of its files (path, written) was written.
  Status WriteOutcomes(const std::vector<std::pair<std::string, bool>>& files);
  // An undo that failed: the run it takes back is to be taken back again.
  Status MarkIncomplete();

 private:
  FileSystem& fs_;
  JournalRun run_;
  bool open_ = false;
  std::vector<JournalPage> pending_;
};

std::string EscapeField(std::string_view text);
std::optional<std::string> UnescapeField(std::string_view text);

}  // namespace splicery
