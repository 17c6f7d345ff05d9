// SPDX-License-Identifier: GPL-3.0-or-later
// The site check: the configuration files, then each page's markers, blocks and stand lines.
#include "report/site_lint.h"

#define XXH_STATIC_LINKING_ONLY  // a hash state on the stack
#include <xxhash.h>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <set>
#include <utility>

#include "core/sorted_list.h"
#include "publish/feed.h"
#include "publish/site_files.h"
#include "report/link_check.h"
#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "scan/config_loader.h"
#include "scan/news_scan.h"
#include "scan/site_config.h"
#include "text/block_walker.h"
#include "text/convert.h"
#include "text/encoding.h"
#include "text/lines.h"
#include "text/markers.h"
#include "text/news_entry.h"
#include "update/backup_name.h"
#include "update/journal.h"
#include "update/journal_reader.h"
#include "update/journal_scope.h"
#include "update/write_policy.h"

namespace splicery {
namespace {

using markers::Contains;

// The lines of one block that a run generates (all but the key lines), with their numbers.
struct BlockLines {
  std::vector<std::pair<size_t, std::string_view>> lines;
  size_t end_line = 0;
};

class Lint {
 public:
  Lint(FileSystem& fs, bool check_links)
      : fs_(fs), check_links_(check_links), blocks_(include_lines_, no_news_) {}

  std::vector<Finding> Run() {
    std::vector<std::string>& pages = pages_;
    const Status listed_pages = ReadPageList(fs_, &pages);
    if (!listed_pages) {
      AddListed(1, Severity::kError, msg::CannotRead(msg::Reason(listed_pages)));
    }
    ReadIncludeSource();
    ReadJournal(pages);
    if (check_links_) links_ = std::make_unique<LinkCheck>(fs_, pages_);
    // Each page is read once. Its news entries are gathered as it goes by; a page with a news
    // block can be checked only once they are all known, so it waits with its bytes.
    std::vector<std::pair<size_t, std::string>> with_news;
    // A file listed twice, under one name or two (./a.htm, a link): its first line in include.txt.
    std::map<std::string, size_t> listed;
    std::map<FileKey, size_t> listed_files;
    for (size_t i = 0; i < pages.size(); ++i) {
      const std::string& page = pages[i];
      std::string bytes;
      auto [by_name, inserted] = listed.try_emplace(page, i + 1);
      size_t first_line = by_name->second;
      if (FileId id; inserted && fs_.Identify(page, &id)) {
        auto [by_file, new_file] = listed_files.try_emplace(id.key, i + 1);
        first_line = by_file->second;
        inserted = new_file;
      }
      rank_.try_emplace(page, i);
      if (!inserted) {
        AddListed(i + 1, Severity::kWarning, msg::ListedTwice(page, first_line));
        // The run takes its news entries twice, too.
        if (next_run_ && fs_.ReadFile(page, &bytes)) {
          AddNewsEntries(bytes, page, scan_.List5, &scan_.Stands, &scan_.Encodings);
        }
      } else if (page.empty()) {
        AddListed(i + 1, Severity::kError, msg::EmptyLine());
      } else if (Status read = fs_.ReadFile(page, &bytes); !read) {
        AddListed(i + 1, Severity::kError, msg::PageCannotBeRead(page, msg::Reason(read)));
      } else {
        ReadPage(i, std::move(bytes), with_news);
      }
    }
    // Each waiting page's bytes go as soon as it is checked.
    for (auto& [i, page_bytes] : with_news) {
      CheckPage(i, page_bytes);
      std::string().swap(page_bytes);
    }
    FinishLinks();
    AddIncludeSourceFindings(listed_pages.ok());
    SortFindings();
    AddJournalFindings();  // after include.htm's findings, which the sort leaves last
    CheckSiteConfig(pages);
    listed_findings_.insert(listed_findings_.end(), findings_.begin(), findings_.end());
    return std::move(listed_findings_);
  }

 private:
  // include.htm's own findings, after every page's.
  void AddIncludeSourceFindings(bool listed_pages) {
    if (!include_failure_.empty()) {
      findings_.push_back({kIncludeSourceFile, 1, Severity::kError, include_failure_});
    }
    for (const auto& [encoding, count] : converted_pages_) {
      Add(kIncludeSourceFile, 1, Severity::kNote,
          msg::IncludeTextConverted(scan_.Encodings.include_source.name, count, encoding));
    }
    // Without the page list no block was seen: every include line would look unused.
    for (const auto& [index, line] : include_line_numbers_) {
      if (listed_pages && !selected_.count(index) && !(news_blocks_ && IsTemplate(index))) {
        Add(kIncludeSourceFile, line, Severity::kNote, msg::IncludeLineUnused());
      }
    }
  }

  // A page's news entries, then its check, unless it waits for the news list to be complete.
  void ReadPage(size_t i, std::string bytes,
                std::vector<std::pair<size_t, std::string>>& with_news) {
    if (next_run_) AddNewsEntries(bytes, pages_[i], scan_.List5, &scan_.Stands, &scan_.Encodings);
    if (next_run_ && Contains(bytes, markers::kNews)) {
      with_news.emplace_back(i, std::move(bytes));
    } else {
      CheckPage(i, bytes);
    }
  }

  void FinishLinks() {
    if (!links_) return;
    for (Finding& f : links_->Finish()) {
      (f.file == kTargetListFile ? listed_findings_ : findings_).push_back(std::move(f));
    }
  }

  // include.txt first, then the pages in its order, include.htm last; each by line.
  void SortFindings() {
    const auto by_line = [](const Finding& a, const Finding& b) { return a.line < b.line; };
    std::stable_sort(listed_findings_.begin(), listed_findings_.end(), by_line);
    // Each finding's rank looked up once, not at every comparison.
    std::vector<std::pair<size_t, size_t>> keys;  // rank, line
    keys.reserve(findings_.size());
    for (const Finding& f : findings_) {
      const auto it = rank_.find(f.file);
      keys.emplace_back(
          it == rank_.end() || f.file == kIncludeSourceFile ? rank_.size() : it->second, f.line);
    }
    std::vector<size_t> order(findings_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<Finding> sorted;
    sorted.reserve(findings_.size());
    for (size_t i : order) sorted.push_back(std::move(findings_[i]));
    findings_ = std::move(sorted);
  }

  // Findings about include.txt come before all others.
  void AddListed(size_t line, Severity severity, std::string text) {
    listed_findings_.push_back({kTargetListFile, line, severity, std::move(text)});
  }

  void Add(std::string file, size_t line, Severity severity, std::string text) {
    findings_.push_back({std::move(file), line, severity, std::move(text)});
  }

  bool IsTemplate(size_t index) const { return Contains(include_lines_[index], markers::kNews); }

  // What the newest journaled run generated into each block of each page, and the lists a
  // run would work from, to know what it would write (none without the configuration files).
  void ReadJournal(const std::vector<std::string>& pages) {
    // What would stop the run at the journal is told as the run tells it.
    journal_failure_ = fs_.ProbeWrite(kJournalFile, Intent::kAppend);
    if (journal_failure_) journal_failure_ = ReadLastBlocks(pages);
    if (!LoadConfiguration(scan_, fs_)) return;
    // The news index fills while the pages are read; its lines are made on first use, once
    // every page has been read.
    next_run_ = std::make_unique<BlockRewriter>(scan_.List2, scan_.List5, &scan_.Encodings);
  }

  // What would stop a run at the journal, then the lines that lead outside the site.
  void AddJournalFindings() {
    if (!journal_failure_) {
      Add(kJournalFile, 1, Severity::kError, msg::Reason(journal_failure_));
    }
    findings_.insert(findings_.end(), journal_findings_.begin(), journal_findings_.end());
  }

  // The newest journaled blocks of each listed page, read back from the journal's end until
  // every page has them (so a long journal costs nothing more); a line that leads outside the
  // site is told at its line and skipped.
  Status ReadLastBlocks(const std::vector<std::string>& pages) {
    std::set<std::string, std::less<>> wanted(pages.begin(), pages.end());
    JournalScope scope(fs_);
    std::vector<JournalRun> kept;  // the runs holding such lines, for their names
    Status read = ForEachRunBackward(fs_, [&](JournalRun&& run) {
      bool holds_outside = false;
      for (auto it = run.pages.rbegin(); it != run.pages.rend(); ++it) {
        if (!scope.Allows(*it)) {
          holds_outside = true;
          continue;
        }
        if (!wanted.count(it->path) || !WroteBlocks(*it)) continue;
        last_blocks_[it->path] = it->blocks;
        wanted.erase(it->path);
      }
      if (holds_outside) kept.push_back(std::move(run));
      return !wanted.empty();
    });
    for (auto run = kept.rbegin(); run != kept.rend(); ++run) {
      for (const JournalPage& page : run->pages) {
        size_t line = 0;
        if (scope.Allows(page) || !JournalLineNumber(fs_, page.offset, &line)) continue;
        journal_findings_.push_back(
            {kJournalFile, line, Severity::kWarning, msg::JournalLineOutside(page.path)});
      }
    }
    return read;
  }

  // Whether the page holds the blocks its line names: the run wrote it, or left it as it was.
  // Where the run did not say (it was killed first), the page's bytes tell.
  bool WroteBlocks(const JournalPage& page) {
    if (page.created) return false;
    if (!page.new_hash || page.written) return page.written.value_or(true);
    std::string bytes;
    return !fs_.ReadFile(page.path, &bytes) || JournalHash(bytes) != page.old_hash;
  }

  // splicery.ini, after include.htm: each problem at its line, then what it would switch on.
  void CheckSiteConfig(const std::vector<std::string>& pages) {
    std::string bytes;
    const Status read = ReadConfiguration(fs_, kSiteConfigFile, &bytes);
    if (read.code() == Code::kNotFound) return;
    if (!read) {
      Add(kSiteConfigFile, 1, Severity::kError, msg::CannotRead(msg::Reason(read)));
      return;
    }
    std::vector<ConfigProblem> problems;
    const SiteConfig config = ParseSiteConfig(bytes, pages, &problems);
    for (const ConfigProblem& problem : problems) {
      Add(kSiteConfigFile, problem.line, Severity::kError, DescribeConfigProblem(problem));
    }
    if (!problems.empty()) return;
    if (!config.feed && !config.sitemap) {
      Add(kSiteConfigFile, 1, Severity::kWarning, msg::IniNothingSwitchedOn());
    }
    if (config.feed &&
        !BuildFeed(FeedSettingsOf(config), ToNewsItems(scan_.Stands, &scan_.Encodings))) {
      Add(kSiteConfigFile, config.feed->line, Severity::kWarning, msg::NoFeedEntries());
    }
    std::string robots;
    if (config.sitemap && fs_.ReadFile("robots.txt", &robots) && !NamesSitemap(robots)) {
      Add("robots.txt", 1, Severity::kNote, msg::RobotsTxtWithoutSitemap());
    }
  }

  void ReadIncludeSource() {
    std::string bytes;
    if (Status read = ReadConfiguration(fs_, kIncludeSourceFile, &bytes); !read) {
      include_failure_ = msg::CannotRead(msg::Reason(read));
      return;
    }
    size_t number = 0;
    for (LineCursor cursor(bytes); !cursor.AtEnd();) {
      const LineView line = cursor.Next();
      ++number;
      if (!Contains(line.text, markers::kIncludeLine)) continue;
      include_line_numbers_.emplace_back(include_lines_.size(), number);
      include_lines_.emplace_back(line.text);
      has_template_ = has_template_ || Contains(line.text, markers::kNews);
    }
  }

  void CheckPage(size_t index, std::string_view bytes) {
    const std::string& page = pages_[index];
    if (Status probed = ProbeBackup(fs_, page); !probed) {
      Add(page, 1, Severity::kError, msg::BackupCannotBeMade(probed.path(), msg::Reason(probed)));
    }
    const size_t open_line = OpenStartLine(bytes);
    if (open_line != 0) Add(page, open_line, Severity::kError, msg::StartWithoutEnd());
    const bool has_stand = CheckStandLines(page, bytes);
    std::vector<BlockLines> blocks;  // for the hand-edit guard: what each block holds now
    if (!CheckBlocks(page, bytes, &blocks) && !has_stand) {
      Add(page, 1, Severity::kNote, msg::NoBlockNoStand());
    }
    CheckEncoding(page, bytes, blocks);
    // A block still open at the end is the marker failure reported above.
    if (open_line == 0 && next_run_) {
      LineBuffer next;
      std::vector<BlockSpan> spans;
      CheckNextRun(page, bytes, blocks, next, spans);
      CheckLinks(index, bytes, next.bytes(), spans);
    } else {
      CheckLinks(index, bytes, bytes, {});
    }
  }

  // The lines of a block that the next run generates, each with where it comes from.
  struct Generated {
    size_t begin, end, line;  // bytes in the page as the run leaves it, line in include.htm
    size_t entry;             // a news line's entry in the news index; npos for a fragment
  };
  // A block's generated lines [begin, end) and where each comes from, in order.
  struct BlockSources {
    size_t begin, end;
    bool news;
    std::vector<std::pair<size_t, size_t>> fragments;  // of a block of include lines
  };

  // Where each generated line of a block comes from: its line in include.htm and, for a news
  // line, its entry in the news index (else npos). A news block's lines are entry by entry,
  // newest first, each template in turn, the same in every news block: worked out from the
  // place, not kept line by line (three per news entry).
  class Sources {
   public:
    explicit Sources(const std::vector<std::pair<size_t, size_t>>& fragments)
        : fragments_(&fragments) {}
    Sources(const std::vector<size_t>& templates, const std::vector<size_t>& entries)
        : templates_(&templates), entries_(&entries) {}

    size_t size() const {
      return fragments_ ? fragments_->size() : templates_->size() * entries_->size();
    }
    std::pair<size_t, size_t> operator[](size_t j) const {
      if (fragments_) return (*fragments_)[j];
      return {(*templates_)[j % templates_->size()], (*entries_)[j / templates_->size()]};
    }
    // The hash of the first `count`, as of their bytes in a row.
    uint64_t Hash(size_t count, uint64_t seed) const {
      if (fragments_) return XXH3_64bits_withSeed(fragments_->data(), count * kPair, seed);
      XXH3_state_t state;
      XXH3_64bits_reset_withSeed(&state, seed);
      std::pair<size_t, size_t> chunk[64];
      for (size_t j = 0; j < count;) {
        size_t n = 0;
        for (; n < std::size(chunk) && j < count; ++n, ++j) chunk[n] = (*this)[j];
        XXH3_64bits_update(&state, chunk, n * kPair);
      }
      return XXH3_64bits_digest(&state);
    }

   private:
    static constexpr size_t kPair = sizeof(std::pair<size_t, size_t>);
    const std::vector<std::pair<size_t, size_t>>* fragments_ = nullptr;
    const std::vector<size_t>* templates_ = nullptr;
    const std::vector<size_t>* entries_ = nullptr;
  };

  Sources SourcesOf(const BlockSources& block) {
    return block.news ? NewsSources() : Sources(block.fragments);
  }

  // Each block's generated lines as a span whose references mean the same in every page of
  // `folder` that holds it, and where its lines come from.
  void FindSpans(std::string_view next, const std::vector<BlockSpan>& spans,
                 const std::string& folder, std::vector<BlockSources>& blocks,
                 std::vector<LinkCheck::SharedSpan>& shared) {
    const uint64_t in_folder = XXH3_64bits(folder.data(), folder.size());
    for (const BlockSpan& span : spans) {
      // The block's lines before the generated ones: its START line, then its key lines.
      std::vector<std::string> keys;
      LineCursor c(next.substr(span.new_begin, span.new_generated - span.new_begin));
      if (!c.AtEnd()) c.Next();
      while (!c.AtEnd()) keys.emplace_back(c.Next().text);
      const bool news = std::any_of(keys.begin(), keys.end(), [](const std::string& k) {
        return Contains(k, markers::kNews);
      });
      BlockSources& block = blocks.emplace_back();
      block.news = news;
      if (!news) block.fragments = FragmentSources(keys);
      const Sources sources = SourcesOf(block);
      // Lines beyond the sources (none as the run writes them) are the page's own.
      const std::string_view lines =
          next.substr(span.new_generated, span.new_end - span.new_generated);
      const bool open_end = !lines.empty() && !lines.ends_with('\n') && !lines.ends_with('\r');
      size_t count = CountLines(lines, 0, lines.size()) + (open_end ? 1 : 0);
      block.begin = span.new_generated;
      block.end = span.new_end;
      if (count > sources.size()) {
        LineCursor cursor(lines);
        for (size_t j = 0; j < sources.size(); ++j) cursor.Next();
        block.end = span.new_generated + cursor.position();
        count = sources.size();
      }
      const uint64_t from = sources.Hash(count, in_folder);
      shared.push_back({block.begin, block.end, from});
    }
  }

  // The generated lines of the blocks, each with where it comes from: made for a finding only.
  void FindGenerated(std::string_view next, const std::vector<BlockSources>& blocks,
                     std::vector<Generated>& generated) {
    for (const BlockSources& block : blocks) {
      const Sources sources = SourcesOf(block);
      size_t j = 0;
      for (LineCursor c(next.substr(block.begin, block.end - block.begin));
           !c.AtEnd() && j < sources.size(); ++j) {
        const size_t begin = block.begin + c.position();
        c.Next();
        const auto [line, entry] = sources[j];
        generated.push_back({begin, block.begin + c.position(), line, entry});
      }
    }
  }

  // The references of the page as the next run leaves it: outside the blocks at the page's
  // own lines, inside them at the include line or news template they come from.
  void CheckLinks(size_t index, std::string_view old, std::string_view next,
                  const std::vector<BlockSpan>& spans) {
    if (!links_) return;
    const std::string& page = pages_[index];
    const size_t slash = page.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : page.substr(0, slash);
    std::vector<BlockSources> blocks;
    std::vector<LinkCheck::SharedSpan> shared;
    FindSpans(next, spans, folder, blocks, shared);
    std::vector<Generated> generated;
    std::vector<std::pair<size_t, ptrdiff_t>> shift;  // block end in `next`, lines added so far
    const auto origin_of = [&](size_t offset, size_t line) {
      if (generated.empty()) FindGenerated(next, blocks, generated);
      const auto g = std::upper_bound(generated.begin(), generated.end(), offset,
                                      [](size_t o, const Generated& x) { return o < x.begin; });
      if (g != generated.begin() && offset < std::prev(g)->end) {
        // Once per include line and folder; a news line once per template, folder and entry.
        const Generated& from = *std::prev(g);
        std::string once = std::to_string(from.line) + '\0' + folder;
        if (from.entry != std::string::npos) once += '\0' + scan_.List5.items()[from.entry];
        return RefOrigin{kIncludeSourceFile, from.line, std::move(once)};
      }
      // How far the blocks before the offset moved the page's lines: counted for a finding only.
      if (shift.empty() && !spans.empty()) {
        ptrdiff_t added = 0;
        for (const BlockSpan& span : spans) {
          added += static_cast<ptrdiff_t>(CountLines(next, span.new_begin, span.new_end)) -
                   static_cast<ptrdiff_t>(CountLines(old, span.old_begin, span.old_end));
          shift.emplace_back(span.new_end, added);
        }
      }
      const auto s = std::upper_bound(shift.begin(), shift.end(), offset,
                                      [](size_t o, const auto& x) { return o < x.first; });
      const ptrdiff_t moved = s == shift.begin() ? 0 : std::prev(s)->second;
      return RefOrigin{page, static_cast<size_t>(static_cast<ptrdiff_t>(line) - moved), {}};
    };
    links_->CheckPage(index, next, findings_, origin_of, shared);
  }

  // Where each line of an ordinary block comes from: its include line (in include.htm's
  // numbering), in the order the run writes them.
  const std::vector<std::pair<size_t, size_t>>& FragmentSources(
      const std::vector<std::string>& keys) {
    sources_.clear();
    for (const std::string& key : keys) {
      for (const auto& fragment : next_run_->FragmentsOf(key)) {
        sources_.emplace_back(include_line_numbers_[fragment.include_index].second,
                              std::string::npos);
      }
    }
    std::stable_sort(sources_.begin(), sources_.end());
    return sources_;
  }

  // The same for a news block, made once: the templates' lines and the entries that make
  // news lines, newest first.
  Sources NewsSources() {
    if (!news_sources_made_) {
      news_sources_made_ = true;
      for (const auto& [index, line] : include_line_numbers_) {
        if (IsTemplate(index)) news_templates_.push_back(line);
      }
      const std::vector<std::string>& entries = scan_.List5.items();
      for (size_t v = entries.size(); v-- > 0;) {
        if (SplitNewsEntry(entries[v])) news_entries_.push_back(v);
      }
    }
    return Sources(news_templates_, news_entries_);
  }

  // Whether the page has a stand line; each is checked.
  bool CheckStandLines(const std::string& page, std::string_view bytes) {
    bool found = false;
    size_t next = 0, counted = 0, number = 1;
    for (size_t hit;
         (hit = markers::Find(bytes, markers::kStand, next)) != std::string_view::npos;) {
      const std::string_view line = LineAround(bytes, hit, &next).text;
      const size_t begin = static_cast<size_t>(line.data() - bytes.data());
      number += CountLines(bytes, counted, begin);
      counted = begin;
      found = true;
      CheckStandLine(page, number, line);
    }
    return found;
  }

  // Whether the page has a block; each is checked, and the lines a run generates in each
  // closed one go to *blocks.
  bool CheckBlocks(const std::string& page, std::string_view bytes,
                   std::vector<BlockLines>* blocks) {
    bool has_block = false, news = false;
    size_t start = 0;  // the open block's START line; 0 outside a block
    std::vector<std::pair<size_t, std::string>> keys;
    BlockLines block;
    size_t after = 0, after_number = 1;  // where the lines after the last marker line begin
    MarkerWalker walker(bytes, /*count_lines=*/true);
    for (MarkerLine m; walker.Next(&m); after = m.next, after_number = m.number + 1) {
      if (!start) {
        if (m.marker == Marker::kStart) {
          start = m.number;
          has_block = true;
          news = false;
          keys.clear();
          block = {};
        } else if (m.marker == Marker::kEnd) {
          Add(page, m.number, Severity::kWarning, msg::EndWithoutBlock());
        }
        continue;
      }
      // Every line between marker lines in a block was generated.
      size_t number = after_number;
      for (LineCursor cursor(bytes.substr(after, m.begin - after)); !cursor.AtEnd(); ++number) {
        const size_t begin = after + cursor.position();
        cursor.Next();
        block.lines.emplace_back(number, bytes.substr(begin, after + cursor.position() - begin));
      }
      if (m.marker == Marker::kEnd || m.marker == Marker::kStartEnd) {
        CheckBlock(page, start, news, keys);
        block.end_line = m.number;
        blocks->push_back(std::exchange(block, {}));
        start = 0;
        continue;
      }
      if (m.marker == Marker::kStart) {
        Add(page, m.number, Severity::kWarning, msg::StartInsideBlock(start));
      }
      news = news || Contains(m.line.text, markers::kNews);
      keys.emplace_back(m.number, m.line.text);
    }
    return has_block;
  }

  // Whether the page's bytes fit the encoding it declares. A line in a block is what a run
  // put there (a trace of text spliced in unconverted, which the next run repairs); the rest
  // is the page's own, so a misfit there means the declaration is wrong.
  void CheckEncoding(const std::string& page, std::string_view bytes,
                     const std::vector<BlockLines>& blocks) {
    const FileEncoding encoding = DetectPageEncoding(bytes);
    const auto line_of = [&](size_t offset) {
      size_t next;
      const size_t begin =
          static_cast<size_t>(LineAround(bytes, offset, &next).text.data() - bytes.data());
      return 1 + CountLines(bytes, 0, begin);
    };
    if (IsUtf16(encoding.name)) {
      Add(page, 1, Severity::kWarning, msg::Utf16Page());
      return;
    }
    if (encoding.basis == EncodingBasis::kUnknownLabel) {
      Add(page, line_of(encoding.label_at), Severity::kWarning,
          msg::UnknownCharset(encoding.label));
      return;
    }
    if (encoding.basis == EncodingBasis::kUndeclared) {
      if (!IsAscii(bytes)) Add(page, 1, Severity::kNote, msg::NoCharsetDeclared());
      return;
    }
    if (!encoding.Known()) return;
    std::set<size_t> generated;
    for (const BlockLines& block : blocks) {
      for (const auto& [number, line] : block.lines) generated.insert(number);
    }
    const bool utf8 = encoding.name == "UTF-8", single = IsSingleByte(encoding.name);
    size_t contradicted = 0, looks_utf8 = 0;
    bool looks_single = false;
    std::string decoded;
    size_t number = 0;
    for (LineCursor cursor(bytes); !cursor.AtEnd();) {
      const std::string_view line = cursor.Next().text;
      ++number;
      if (IsAscii(line)) continue;
      const Utf8Shape shape = ShapeOf(line);
      if (generated.count(number)) {
        if ((single && shape == Utf8Shape::kUtf8) || (utf8 && shape == Utf8Shape::kNotUtf8)) {
          Add(page, number, Severity::kWarning, msg::LineDoesNotFitCharset(encoding.name, single));
        }
      } else if (single) {
        if (shape == Utf8Shape::kUtf8 && looks_utf8 == 0) looks_utf8 = number;
        looks_single = looks_single || shape == Utf8Shape::kNotUtf8;
      } else if (contradicted == 0 && !DecodeToUtf8(line, encoding.name, &decoded)) {
        contradicted = number;
      }
    }
    // Text in a single-byte encoding is hardly ever valid UTF-8 by chance.
    if (looks_utf8 != 0 && !looks_single) contradicted = looks_utf8;
    if (contradicted != 0) {
      Add(page, contradicted, Severity::kWarning, msg::CharsetContradicted(encoding.name));
    }
  }

  // What the next run would do to the page: it must be writable where it changes, and a hand
  // edit in a block that the run would replace is told.
  void CheckNextRun(const std::string& page, std::string_view bytes,
                    const std::vector<BlockLines>& blocks, LineBuffer& next,
                    std::vector<BlockSpan>& spans) {
    std::vector<std::string> block_keys;
    RewritePage(bytes, *next_run_, next, block_keys, nullptr, &spans);
    if (next_run_->ConvertedIncludeText()) ++converted_pages_[next_run_->target()];
    if (next.bytes() != bytes) {
      if (Status writable = ProbeReplace(fs_, page); !writable) {
        Add(page, 1, Severity::kError, msg::CannotBeWritten(msg::Reason(writable)));
      }
    }
    if (const auto journaled = last_blocks_.find(page); journaled != last_blocks_.end()) {
      GuardHandEdits(page, next.bytes(), spans, blocks, journaled->second);
    }
  }

  // A block that holds neither what the last run generated there nor what the next run will
  // generate was edited by hand: the next run replaces the edit.
  void GuardHandEdits(const std::string& page, std::string_view next,
                      const std::vector<BlockSpan>& spans, const std::vector<BlockLines>& blocks,
                      const std::vector<uint64_t>& last) {
    for (size_t k = 0; k < blocks.size() && k < spans.size() && k < last.size(); ++k) {
      std::string now;
      for (const auto& [number, line] : blocks[k].lines) now += line;
      const std::string_view generated =
          next.substr(spans[k].new_generated, spans[k].new_end - spans[k].new_generated);
      if (JournalHash(now) == last[k] || now == generated) continue;
      size_t differs = blocks[k].end_line;
      LineCursor expected(generated);
      for (const auto& [number, line] : blocks[k].lines) {
        const size_t begin = expected.position();
        if (!expected.AtEnd()) expected.Next();
        if (generated.substr(begin, expected.position() - begin) != line) {
          differs = number;
          break;
        }
      }
      Add(page, differs, Severity::kWarning, msg::HandEdit());
    }
  }

  void CheckBlock(const std::string& page, size_t start_line, bool news,
                  const std::vector<std::pair<size_t, std::string>>& keys) {
    if (keys.empty()) {
      Add(page, start_line, Severity::kWarning, msg::BlockWithoutKey());
      return;
    }
    if (news) {
      news_blocks_ = true;
      if (!has_template_ && include_failure_.empty()) {
        Add(page, start_line, Severity::kWarning, msg::NewsWithoutTemplate());
      }
      return;
    }
    for (const auto& [number, key] : keys) {
      if (Contains(key, markers::kStart)) continue;  // reported as a START line already
      const auto& fragments = blocks_.FragmentsOf(key);
      for (const auto& fragment : fragments) selected_.insert(fragment.include_index);
      if (fragments.empty() && include_failure_.empty()) {
        Add(page, number, Severity::kWarning, msg::KeyMatchesNothing());
      }
    }
  }

  void CheckStandLine(const std::string& page, size_t number, std::string_view line) {
    const StandLine stand = ReadStandLine(line);
    if (stand.kind == StandLine::kIncomplete) {
      Add(page, number, Severity::kWarning, msg::StandGivesNoEntry());
    } else if (stand.kind == StandLine::kEntry) {
      const size_t d1 = stand.date.find('.');
      const size_t d2 = stand.date.find('.', d1 + 1);
      if (d1 == 1 || d2 - d1 == 2) {
        Add(page, number, Severity::kWarning, msg::OneDigitDate(stand.date));
      }
    }
  }

  FileSystem& fs_;
  const bool check_links_;
  std::vector<std::string> pages_;
  std::map<std::string, size_t> rank_;  // a listed page's first place in include.txt
  std::unique_ptr<LinkCheck> links_;
  std::vector<std::pair<size_t, size_t>> sources_;  // include.htm line, entry
  std::vector<size_t> news_templates_, news_entries_;
  bool news_sources_made_ = false;
  std::vector<std::string> include_lines_;
  std::vector<std::pair<size_t, size_t>> include_line_numbers_;  // list index, line in the file
  SortedList no_news_;
  BlockRewriter blocks_;
  std::string include_failure_;
  Status journal_failure_;
  bool has_template_ = false;
  bool news_blocks_ = false;
  std::set<size_t> selected_;
  std::map<std::string, std::vector<uint64_t>> last_blocks_;
  Form scan_;
  std::unique_ptr<BlockRewriter> next_run_;
  std::map<std::string_view, size_t> converted_pages_;  // by the encoding converted into
  std::vector<Finding> listed_findings_;
  std::vector<Finding> findings_;
  std::vector<Finding> journal_findings_;
};

}  // namespace

std::vector<Finding> LintSite(FileSystem& fs, bool check_links) {
  return Lint(fs, check_links).Run();
}

std::string FormatFinding(const Finding& finding) {
  return finding.file + ":" + std::to_string(finding.line) + ": " +
         std::string(msg::SeverityName(static_cast<int>(finding.severity))) + ": " + finding.text;
}

std::string FormatSummary(const std::vector<Finding>& findings) {
  size_t counts[3] = {0, 0, 0};
  for (const Finding& f : findings) ++counts[static_cast<int>(f.severity)];
  return msg::LintSummary(counts[0], counts[1], counts[2]);
}

}  // namespace splicery
