// SPDX-License-Identifier: GPL-3.0-or-later
// Journal lines: build, parse, and the hash.
#include "update/journal.h"

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <set>

namespace splicery {
namespace {

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::optional<uint64_t> Number(std::string_view text, int base = 10) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t at = 0;;) {
    const size_t tab = line.find('\t', at);
    fields.push_back(
        line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
    if (tab == std::string_view::npos) return fields;
    at = tab + 1;
  }
}

std::optional<JournalPage> ParsePage(const std::vector<std::string_view>& f) {
  JournalPage page;
  auto path = UnescapeField(f[2]);
  auto backup = UnescapeField(f[3]);
  auto old_hash = Number(f[4], 16);
  if (!path || !backup || !old_hash) return std::nullopt;
  page.path = std::move(*path);
  page.backup = std::move(*backup);
  page.old_hash = *old_hash;
  if (f[5] != "=") {
    page.new_hash = Number(f[5], 16);
    if (!page.new_hash) return std::nullopt;
  }
  if (f[6] != "-") {
    for (size_t at = 0;;) {
      const size_t comma = f[6].find(',', at);
      auto hash = Number(f[6].substr(at, comma == std::string_view::npos ? comma : comma - at), 16);
      if (!hash) return std::nullopt;
      page.blocks.push_back(*hash);
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
  }
  return page;
}

}  // namespace

uint64_t JournalHash(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

std::string FormatRunLine(const JournalRun& run) {
  return "run\t" + std::to_string(run.number) + "\t" + run.time + "\t" +
         (run.undoes    ? "undo " + std::to_string(*run.undoes)
          : run.to_utf8 ? std::string("to-utf8")
                        : std::string("update")) +
         "\n";
}

std::string FormatPageLine(uint64_t run, const JournalPage& page) {
  if (page.created) {
    return "created\t" + std::to_string(run) + "\t" + EscapeField(page.path) + "\t" +
           Hex(page.new_hash.value_or(0)) + "\n";
  }
  if (page.removed) {
    return "removed\t" + std::to_string(run) + "\t" + EscapeField(page.path) + "\t" +
           EscapeField(page.backup) + "\t" + Hex(page.old_hash) + "\n";
  }
  std::string blocks;
  for (uint64_t hash : page.blocks) blocks += (blocks.empty() ? "" : ",") + Hex(hash);
  return "page\t" + std::to_string(run) + "\t" + EscapeField(page.path) + "\t" +
         EscapeField(page.backup) + "\t" + Hex(page.old_hash) + "\t" +
         (page.new_hash ? Hex(*page.new_hash) : "=") + "\t" + (blocks.empty() ? "-" : blocks) +
         "\n";
}

Status CheckJournal(std::string_view bytes) {
  if (bytes.empty() || bytes.starts_with(kJournalHeader)) return {};
  return Status::Failure(Code::kUnknownFormat, kJournalFile);
}

std::vector<JournalRun> ParseJournal(std::string_view bytes) {
  std::vector<JournalRun> runs;
  for (size_t at = 0;;) {
    const size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos) break;  // a torn last line
    const std::vector<std::string_view> f = Fields(bytes.substr(at, lf - at));
    at = lf + 1;
    if (f[0] == "run" && f.size() == 4) {
      JournalRun run;
      auto number = Number(f[1]);
      if (!number) continue;
      run.number = *number;
      run.time = f[2];
      if (f[3].starts_with("undo ")) {
        run.undoes = Number(f[3].substr(5));
        if (!run.undoes) continue;
      } else if (f[3] == "to-utf8") {
        run.to_utf8 = true;
      } else if (f[3] != "update") {
        continue;
      }
      runs.push_back(std::move(run));
    } else if (f[0] == "page" && f.size() == 7) {
      auto number = Number(f[1]);
      if (!number || runs.empty() || runs.back().number != *number) continue;
      if (auto page = ParsePage(f)) runs.back().pages.push_back(std::move(*page));
    } else if (f[0] == "created" && f.size() == 4) {
      auto number = Number(f[1]);
      if (!number || runs.empty() || runs.back().number != *number) continue;
      auto path = UnescapeField(f[2]);
      auto hash = Number(f[3], 16);
      if (!path || !hash) continue;
      runs.back().pages.push_back({std::move(*path), {}, 0, *hash, {}, true});
    } else if (f[0] == "removed" && f.size() == 5) {
      auto number = Number(f[1]);
      if (!number || runs.empty() || runs.back().number != *number) continue;
      auto path = UnescapeField(f[2]);
      auto backup = UnescapeField(f[3]);
      auto hash = Number(f[4], 16);
      if (!path || !backup || !hash) continue;
      runs.back().pages.push_back(
          {std::move(*path), std::move(*backup), *hash, {}, {}, false, true});
    }
  }
  return runs;
}

Status ReadJournal(FileSystem& fs, std::vector<JournalRun>* runs) {
  runs->clear();
  std::string bytes;
  Status read = fs.ReadFile(kJournalFile, &bytes);
  if (read.code() == Code::kNotFound) return {};
  if (read) read = CheckJournal(bytes);
  if (read) *runs = ParseJournal(bytes);
  return read;
}

std::set<uint64_t> UndoneRuns(const std::vector<JournalRun>& runs) {
  std::set<uint64_t> undone;
  for (const JournalRun& run : runs) {
    if (run.undoes) undone.insert(*run.undoes);
  }
  return undone;
}

const JournalRun* LastUndoableRun(const std::vector<JournalRun>& runs) {
  const std::set<uint64_t> undone = UndoneRuns(runs);
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (it->undoes || undone.count(it->number)) continue;
    for (const JournalPage& page : it->pages) {
      if (page.new_hash || page.removed) return &*it;
    }
  }
  return nullptr;
}

namespace {
constexpr const char* kTimeFormat = "%Y-%m-%dT%H:%M:%SZ";
}  // namespace

std::optional<int64_t> ParseJournalTime(const std::string& time) {
  std::tm utc{};
  const char* end = ::strptime(time.c_str(), kTimeFormat, &utc);
  if (!end || *end != '\0') return std::nullopt;
  return int64_t{::timegm(&utc)} * 1000000000;
}

std::string JournalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm utc;
  char text[32];
  ::gmtime_r(&now, &utc);
  std::strftime(text, sizeof text, kTimeFormat, &utc);
  return text;
}

Status JournalWriter::Open() {
  std::string bytes;
  Status read = fs_.ReadFile(kJournalFile, &bytes);
  if (!read && read.code() != Code::kNotFound) return read;
  if (Status known = CheckJournal(bytes); !known) return known;
  uint64_t last = 0;
  for (const JournalRun& run : ParseJournal(bytes)) last = std::max(last, run.number);
  run_.number = last + 1;
  // A torn last line from a killed run is ended with a field no line can end in, so that it
  // never reads as a fact and this run's lines stand on their own.
  std::string head = bytes.empty()          ? std::string(kJournalHeader)
                     : bytes.back() != '\n' ? "\t!\n"
                                            : "";
  Status appended = fs_.AppendFile(kJournalFile, head + FormatRunLine(run_));
  open_ = appended.ok();
  return appended;
}

Status JournalWriter::Write(bool* wrote) {
  if (wrote) *wrote = !pending_.empty();
  if (pending_.empty()) return {};
  std::string lines;
  for (const JournalPage& page : pending_) lines += FormatPageLine(run_.number, page);
  pending_.clear();
  return fs_.AppendFile(kJournalFile, lines);
}

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

}  // namespace splicery
