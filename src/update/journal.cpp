// SPDX-License-Identifier: GPL-3.0-or-later
// Journal lines: build, parse, and the hash.
#include "update/journal.h"

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <set>
#include <utility>

#include "update/journal_reader.h"

namespace splicery {
namespace {

// A line per page of every run: built in one string, without a temporary for every field.
void AppendHex(std::string& out, uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xf];
}

void AppendDecimal(std::string& out, uint64_t value) {
  char digits[20];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

void AppendEscaped(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const size_t plain = text.find_first_of("\t\n\r\\");
    out.append(text.substr(0, plain));
    if (plain == std::string_view::npos) return;
    switch (text[plain]) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += "\\\\";
    }
    text.remove_prefix(plain + 1);
  }
}

// A journal line appended to `out`: `kind`, the run's number and the fields, each after a tab,
// and the line's end.
class Line {
 public:
  Line(std::string& out, std::string_view kind, uint64_t run) : line_(out) {
    line_ += kind;
    line_ += '\t';
    AppendDecimal(line_, run);
  }
  Line& Field(std::string_view text) {
    line_ += '\t';
    line_ += text;
    return *this;
  }
  Line& Escaped(std::string_view text) {
    line_ += '\t';
    AppendEscaped(line_, text);
    return *this;
  }
  Line& Hex(uint64_t value) {
    line_ += '\t';
    AppendHex(line_, value);
    return *this;
  }
  // The values joined by commas; "-" for none.
  Line& Hexes(const std::vector<uint64_t>& values) {
    if (values.empty()) return Field("-");
    for (size_t i = 0; i < values.size(); ++i) {
      line_ += i == 0 ? '\t' : ',';
      AppendHex(line_, values[i]);
    }
    return *this;
  }
  void Done() { line_ += '\n'; }

 private:
  std::string& line_;
};

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

namespace {

void AppendPageLine(std::string& out, uint64_t run, const JournalPage& page) {
  if (page.created) {
    Line(out, "created", run).Escaped(page.path).Hex(page.new_hash.value_or(0)).Done();
    return;
  }
  Line line(out, page.removed ? "removed" : "page", run);
  line.Escaped(page.path).Escaped(page.backup).Hex(page.old_hash);
  if (page.removed) {
    line.Done();
    return;
  }
  if (page.new_hash) {
    line.Hex(*page.new_hash);
  } else {
    line.Field("=");
  }
  line.Hexes(page.blocks).Done();
}

void AppendWrittenLine(std::string& out, uint64_t run, std::string_view path, bool written) {
  Line(out, "written", run).Escaped(path).Field(written ? "yes" : "no").Done();
}

}  // namespace

std::string FormatPageLine(uint64_t run, const JournalPage& page) {
  std::string line;
  AppendPageLine(line, run, page);
  return line;
}

std::string FormatWrittenLine(uint64_t run, std::string_view path, bool written) {
  std::string line;
  AppendWrittenLine(line, run, path, written);
  return line;
}

std::string FormatIncompleteLine(uint64_t run) {
  return "incomplete\t" + std::to_string(run) + "\n";
}

Status CheckJournal(std::string_view bytes) {
  if (bytes.empty() || bytes.starts_with(kJournalHeader)) return {};
  return Status::Failure(Code::kUnknownFormat, kJournalFile);
}

void RunAssembler::Add(std::string_view line, uint64_t offset, std::optional<JournalRun>* done) {
  const std::vector<std::string_view> f = Fields(line);
  if (f[0] == "run" && f.size() == 4) {
    JournalRun run;
    auto number = Number(f[1]);
    if (!number) return;
    run.number = *number;
    run.time = f[2];
    if (f[3].starts_with("undo ")) {
      run.undoes = Number(f[3].substr(5));
      if (!run.undoes) return;
    } else if (f[3] == "to-utf8") {
      run.to_utf8 = true;
    } else if (f[3] != "update") {
      return;
    }
    *done = Finish();
    run_ = std::move(run);
    return;
  }
  const std::optional<uint64_t> number = f.size() >= 2 ? Number(f[1]) : std::nullopt;
  if (!number || !run_ || run_->number != *number) return;
  std::optional<JournalPage> page;
  if (f[0] == "page" && f.size() == 7) {
    page = ParsePage(f);
  } else if (f[0] == "created" && f.size() == 4) {
    auto path = UnescapeField(f[2]);
    auto hash = Number(f[3], 16);
    if (path && hash) page = JournalPage{std::move(*path), {}, 0, *hash, {}, true};
  } else if (f[0] == "removed" && f.size() == 5) {
    auto path = UnescapeField(f[2]);
    auto backup = UnescapeField(f[3]);
    auto hash = Number(f[4], 16);
    if (path && backup && hash) {
      page = JournalPage{std::move(*path), std::move(*backup), *hash, {}, {}, false, true};
    }
  } else if (f[0] == "written" && f.size() == 4 && (f[3] == "yes" || f[3] == "no")) {
    auto path = UnescapeField(f[2]);
    auto it = path ? last_.find(*path) : last_.end();
    if (it != last_.end() && !run_->pages[it->second].written) {
      run_->pages[it->second].written = f[3] == "yes";
    }
  } else if (f[0] == "incomplete" && f.size() == 2) {
    run_->incomplete = run_->undoes.has_value();
  }
  if (!page) return;
  page->offset = offset;
  last_[page->path] = run_->pages.size();
  run_->pages.push_back(std::move(*page));
}

std::optional<JournalRun> RunAssembler::Finish() {
  last_.clear();
  return std::exchange(run_, std::nullopt);
}

std::vector<JournalRun> ParseJournal(std::string_view bytes) {
  std::vector<JournalRun> runs;
  RunAssembler assembler;
  std::optional<JournalRun> done;
  for (size_t at = 0;;) {
    const size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos) break;  // a torn last line
    assembler.Add(bytes.substr(at, lf - at), at, &done);
    at = lf + 1;
    if (done) runs.push_back(std::move(*std::exchange(done, std::nullopt)));
  }
  if ((done = assembler.Finish())) runs.push_back(std::move(*done));
  return runs;
}

Status ReadJournal(FileSystem& fs, std::vector<JournalRun>* runs) {
  runs->clear();
  return ForEachRun(fs, [runs](JournalRun&& run) { runs->push_back(std::move(run)); });
}

std::set<uint64_t> UndoneRuns(const std::vector<JournalRun>& runs) {
  std::set<uint64_t> undone;
  for (const JournalRun& run : runs) {
    if (run.undoes && !run.incomplete) undone.insert(*run.undoes);
  }
  return undone;
}

const JournalRun* LastUndoableRun(const std::vector<JournalRun>& runs) {
  const std::set<uint64_t> undone = UndoneRuns(runs);
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (it->undoes || undone.count(it->number)) continue;
    for (const JournalPage& page : it->pages) {
      if (page.Replaced()) return &*it;
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
  JournalEnd end;
  if (Status read = ReadJournalEnd(fs_, &end); !read) return read;
  run_.number = end.last_run + 1;
  // A torn last line from a killed run is ended with a field no line can end in, so that it
  // never reads as a fact and this run's lines stand on their own.
  std::string head = end.empty ? std::string(kJournalHeader) : end.torn ? "\t!\n" : "";
  Status appended = fs_.AppendFile(kJournalFile, head + FormatRunLine(run_));
  open_ = appended.ok();
  return appended;
}

Status JournalWriter::Write(bool* wrote) {
  if (wrote) *wrote = !pending_.empty();
  if (pending_.empty()) return {};
  std::string lines;
  for (const JournalPage& page : pending_) AppendPageLine(lines, run_.number, page);
  pending_.clear();
  return fs_.AppendFile(kJournalFile, lines);
}

Status JournalWriter::WriteOutcomes(const std::vector<std::pair<std::string, bool>>& files) {
  std::string lines;
  for (const auto& [path, written] : files) AppendWrittenLine(lines, run_.number, path, written);
  return lines.empty() ? Status() : fs_.AppendFile(kJournalFile, lines);
}

Status JournalWriter::MarkIncomplete() {
  return fs_.AppendFile(kJournalFile, FormatIncompleteLine(run_.number));
}

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
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
