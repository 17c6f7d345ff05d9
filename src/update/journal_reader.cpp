// SPDX-License-Identifier: GPL-3.0-or-later
// The journal read in parts of a mebibyte.
#include "update/journal_reader.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace splicery {
namespace {

constexpr size_t kPart = size_t{1} << 20;

// The journal's size after a check of its header; false in *exists for none.
Status OpenJournal(FileSystem& fs, uint64_t* size, bool* exists) {
  std::string head;
  Status read = fs.ReadPart(kJournalFile, 0, kJournalHeader.size(), &head, size);
  *exists = read.ok();
  if (read.code() == Code::kNotFound) return {};
  if (!read) return read;
  return CheckJournal(*size == 0 ? std::string_view() : std::string_view(head));
}

}  // namespace

Status ForEachLine(FileSystem& fs, const std::function<void(std::string_view, uint64_t)>& each) {
  uint64_t size = 0;
  bool exists = false;
  if (Status opened = OpenJournal(fs, &size, &exists); !opened || !exists) return opened;
  std::string buffer, part;
  uint64_t at = kJournalHeader.size();  // where `buffer` begins in the file
  for (uint64_t pos = at; pos < size; pos += part.size()) {
    if (Status read = fs.ReadPart(kJournalFile, pos, kPart, &part, &size); !read) return read;
    if (part.empty()) break;
    buffer += part;
    size_t from = 0;
    for (size_t lf; (lf = buffer.find('\n', from)) != std::string::npos; from = lf + 1) {
      each(std::string_view(buffer).substr(from, lf - from), at + from);
    }
    buffer.erase(0, from);
    at += from;
  }
  return {};  // what is left in `buffer` is a torn last line
}

Status ForEachLineBackward(FileSystem& fs,
                           const std::function<bool(std::string_view, uint64_t)>& each) {
  uint64_t size = 0;
  bool exists = false;
  if (Status opened = OpenJournal(fs, &size, &exists); !opened || !exists) return opened;
  const uint64_t first = kJournalHeader.size();
  std::string buffer, part;  // `buffer`: the bytes from `pos` up to a line end, or none yet
  bool ends_found = false;   // the bytes after the last LF (a torn line) are dropped
  for (uint64_t pos = size; pos > first;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kPart, pos - first));
    if (Status read = fs.ReadPart(kJournalFile, pos - n, n, &part, &size); !read) return read;
    if (part.size() != n) return {};  // cut short under us: nothing more to trust
    pos -= n;
    buffer.insert(0, part);
    if (!ends_found) {
      const size_t lf = buffer.rfind('\n');
      buffer.resize(lf == std::string::npos ? 0 : lf + 1);
      ends_found = lf != std::string::npos;
    }
    while (buffer.size() > 0) {
      const size_t prev =
          buffer.size() < 2 ? std::string::npos : buffer.rfind('\n', buffer.size() - 2);
      if (prev == std::string::npos && pos > first) break;  // its start lies further back
      const size_t start = prev == std::string::npos ? 0 : prev + 1;
      const std::string_view line(buffer.data() + start, buffer.size() - 1 - start);
      if (!each(line, pos + start)) return {};
      buffer.resize(start);
    }
  }
  return {};
}

Status ForEachRun(FileSystem& fs, const std::function<void(JournalRun&&)>& each) {
  RunAssembler assembler;
  std::optional<JournalRun> done;
  Status read = ForEachLine(fs, [&](std::string_view line, uint64_t offset) {
    assembler.Add(line, offset, &done);
    if (done) each(std::move(*std::exchange(done, std::nullopt)));
  });
  if (read && (done = assembler.Finish())) each(std::move(*done));
  return read;
}

// Lines are gathered back to their run's line, then read forward as that run.
Status ForEachRunBackward(FileSystem& fs, const std::function<bool(JournalRun&&)>& each) {
  std::vector<std::pair<std::string, uint64_t>> lines;
  return ForEachLineBackward(fs, [&](std::string_view line, uint64_t offset) {
    lines.emplace_back(line, offset);
    if (!line.starts_with("run\t")) return true;
    RunAssembler assembler;
    std::optional<JournalRun> done;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      assembler.Add(it->first, it->second, &done);
    }
    lines.clear();
    done = assembler.Finish();
    return !done || each(std::move(*done));
  });
}

Status ReadJournalEnd(FileSystem& fs, JournalEnd* end) {
  *end = {};
  uint64_t size = 0;
  bool exists = false;
  if (Status opened = OpenJournal(fs, &size, &exists); !opened || !exists) return opened;
  std::string last;
  if (size > 0) {
    if (Status read = fs.ReadPart(kJournalFile, size - 1, 1, &last, &size); !read) return read;
  }
  end->empty = size == 0;
  end->torn = last != "\n" && !end->empty;
  return ForEachRunBackward(fs, [end](JournalRun&& run) {
    end->last_run = run.number;
    return false;
  });
}

// Walking back, an undo names a run further back still: every run it took back is known
// before that run is met.
Status FindLastUndoableRun(FileSystem& fs, std::optional<JournalRun>* found) {
  found->reset();
  std::set<uint64_t> undone;
  return ForEachRunBackward(fs, [&](JournalRun&& run) {
    if (run.undoes) {
      if (!run.incomplete) undone.insert(*run.undoes);
      return true;
    }
    if (undone.count(run.number)) return true;
    std::vector<JournalRun> one = {std::move(run)};
    if (!LastUndoableRun(one)) return true;
    *found = std::move(one.front());
    return false;
  });
}

Status JournalLineNumber(FileSystem& fs, uint64_t offset, size_t* line) {
  *line = 1;
  std::string part;
  uint64_t size = 0;
  for (uint64_t pos = 0; pos < offset; pos += part.size()) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kPart, offset - pos));
    if (Status read = fs.ReadPart(kJournalFile, pos, n, &part, &size); !read) return read;
    if (part.empty()) break;
    *line += static_cast<size_t>(std::count(part.begin(), part.end(), '\n'));
  }
  return {};
}

}  // namespace splicery
