// SPDX-License-Identifier: GPL-3.0-or-later
// The link check of the site lint: every local reference of every listed page, resolved as a
// browser and a case-sensitive web server would, against the names of the site's folders (each
// folder listed once), with no network. Pages are handed in one by one, in include.txt order;
// references to anchors and the pages nobody links to are settled at the end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "files/file_system.h"
#include "report/site_lint.h"
#include "text/web_text.h"

namespace splicery {

// Which encoding a page's non-ASCII bytes are taken in (never kUnknown): the one its byte-order
// mark or <meta> declares where that is UTF-8 or windows-1252 (ISO-8859-1 is that too); else
// UTF-8 where the bytes are valid UTF-8, else windows-1252 (the browsers' fallback for a
// German page).
PageEncoding GuessPageEncoding(std::string_view bytes);

// An attribute value as the browser hands it to the URL parser: character references decoded,
// non-ASCII characters as UTF-8.
std::string DecodeAttribute(std::string_view raw, PageEncoding encoding);

// The URLs of a srcset by the HTML standard's splitting (a URL may hold commas), each with its
// offset in `raw`.
struct SrcsetUrl {
  size_t offset;
  std::string_view url;
  bool operator==(const SrcsetUrl&) const = default;
};
std::vector<SrcsetUrl> SplitSrcset(std::string_view raw);

// A reference as written, taken apart without looking at the disk.
struct Reference {
  enum class Kind {
    kSkipped,      // empty, "#", another scheme, //host
    kMachinePath,  // C:\..., C:/..., file:, \\server\...
    kLocal,
  };
  Kind kind = Kind::kSkipped;
  std::string text;        // the value without surrounding white space, tabs and newlines
  bool backslash = false;  // a '\' in the path (read as '/', as browsers do)
  bool root = false;       // begins with '/'
  // The path's segments, %XX decoded, and where each stands in `text`. An empty last
  // segment means the path ends in '/'.
  std::vector<std::string> segments;
  std::vector<std::pair<size_t, size_t>> spans;
  bool has_fragment = false;
  std::string fragment;  // %XX decoded
};
// `value` as DecodeAttribute gives it.
Reference ParseReference(std::string_view value);

// Where the findings of one reference go.
struct RefOrigin {
  std::string file;  // the page, or include.htm for a generated line
  size_t line = 0;
  // Non-empty: a finding with the same key and text is reported once, and it names the page
  // it was found in (a fragment's line serves many pages).
  std::string once;
};

class LinkCheck {
 public:
  // `pages`: the lines of include.txt, in order.
  LinkCheck(FileSystem& fs, const std::vector<std::string>& pages);
  ~LinkCheck();

  // Where the finding of a byte offset of the page's bytes goes, with that offset's line.
  using OriginOf = std::function<RefOrigin(size_t offset, size_t line)>;
  // Bytes [begin, end) of a page whose references are reported once per RefOrigin::once on
  // every page that holds them (the lines a run generates into a block). `sources` differs
  // where the origins of their lines differ. Met again in a page of the same folder, byte for
  // byte, their references are not resolved again: only the links they make are counted.
  struct SharedSpan {
    size_t begin, end;
    uint64_t sources;
  };
  // Checks listed page number `index` (0-based), whose bytes are `bytes` (inside blocks: the
  // lines the next run generates). Findings at the page itself go to `out`; those at other
  // files are kept for Finish. Without `origin_of` every finding is at the page's own line.
  // `shared` in page order.
  void CheckPage(size_t index, std::string_view bytes, std::vector<Finding>& out,
                 const OriginOf& origin_of = nullptr, const std::vector<SharedSpan>& shared = {});

  // The findings settled at the end: missing anchors, listed pages no other listed page links
  // to, and the findings kept for other files. Pages need not be checked in include.txt order
  // (the lint checks those with news blocks last): a finding that belongs to the first
  // reference in that order moves there, and Finish takes it out of the `out` it was put in.
  std::vector<Finding> Finish();

 private:
  struct Target;
  struct Outcome;
  struct CachedOutcome;
  class Listed;
  struct Pending;
  struct Entry;
  struct Folder;
  struct Placed;
  struct SpanSeen;
  struct SpanUse;
  struct PageAnchors;
  struct PageScan;

  void Collect(PageScan& scan);
  void FindSpans(PageScan& scan, const std::vector<SharedSpan>& shared);
  void UseSpan(PageScan& scan, SpanUse& span);
  void Remember(SpanUse& span, size_t offset, std::string_view raw, const Outcome& o);
  void KeepAnchors(size_t listed, std::vector<uint64_t>& anchors);
  bool HasAnchor(const PageAnchors& page, std::string_view anchor) const;
  std::optional<bool> HasAnchorIn(const std::string& path, std::string_view anchor);
  void SetBase(PageScan& scan);
  void CheckReference(PageScan& scan, size_t offset, std::string_view raw, std::string_view value,
                      const Outcome& o, const std::string& fragment, const Reference* parsed);
  void ReportProblem(const Target& t, const std::string& text, const RefOrigin& origin,
                     PageScan& scan);
  Outcome Evaluate(const Reference& ref, const std::vector<std::string>& base);
  const Outcome& OutcomeOf(const std::string& key, std::string_view value,
                           const std::vector<std::string>& base);
  Target Resolve(const std::vector<std::string>& base_folder, const Reference& ref);
  void Walk(const std::vector<std::string>& base_folder, const Reference& ref, Target& target);
  static bool Normalize(const std::vector<std::string>& base_folder, const Reference& ref,
                        std::vector<std::string>* path, std::vector<int>* owner);
  void FindIndex(const std::string& folder, Target& target);
  const Entry* Lookup(const std::string& folder, const std::string& name, int owner, Target& target,
                      std::vector<std::pair<int, std::string>>* respelled);
  static void Respell(const Reference& ref,
                      const std::vector<std::pair<int, std::string>>& respelled,
                      const std::string& folder, Target& target);
  Folder* ListFolder(const std::string& path);
  void Report(const RefOrigin& origin, std::string_view page, Severity severity, std::string text,
              std::vector<Finding>& out, Placed* placed = nullptr);
  void NoteUnlisted(PageScan& scan, size_t offset, const std::string& reached,
                    const std::string& text);
  void EraseWithdrawn();

  FileSystem& fs_;
  const std::vector<std::string>& pages_;
  std::unique_ptr<Listed> listed_;  // site-relative path -> first list index
  std::vector<bool> linked_;
  std::unordered_map<std::string, std::unique_ptr<Folder>> folders_;
  std::vector<PageAnchors> page_anchors_;  // by a listed page's first place
  std::vector<uint64_t> anchor_hashes_;
  std::unordered_map<std::string, std::vector<uint64_t>> other_anchors_;  // sorted, by page
  // What a reference means, by the folder seen from, '\0', and its value up to the fragment;
  // the recent ones, in slots by the key's hash (see OutcomeOf).
  std::vector<CachedOutcome> outcomes_;
  std::unordered_set<std::string> reported_once_;
  // An HTML page outside include.txt: where its one note stands, by the page reached.
  std::unordered_map<std::string, Placed> unlisted_;
  std::vector<std::pair<std::vector<Finding>*, size_t>> withdrawn_;  // list, place
  // What the references of a shared span do, by its folder, sources and bytes.
  std::unordered_map<std::string, SpanSeen> spans_;
  std::vector<Pending> pending_;
  std::vector<Finding> kept_;
};

}  // namespace splicery
