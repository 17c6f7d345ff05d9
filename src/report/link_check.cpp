// SPDX-License-Identifier: GPL-3.0-or-later
// References are taken apart without the disk (ParseReference), resolved once per folder they
// are seen from (a menu fragment repeats on every page), and looked up in folder listings read
// once each, so that a name that differs only in letter case or in its encoding is found
// without a system call per reference.
#include "report/link_check.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/messages.h"
#include "scan/config_loader.h"
#include "text/display_text.h"
#include "text/encoding.h"
#include "text/html_tokenizer.h"
#include "update/backup_name.h"

namespace splicery {
namespace {

constexpr size_t npos = std::string::npos;

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}
bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}
int HexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  const char l = Lower(c);
  return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  for (char c : bytes) AppendUtf8(FromWindows1252(static_cast<unsigned char>(c)), out);
  return out;
}

// The windows-1252 bytes of a valid UTF-8 name; false when a character has none.
bool Utf8ToCp1252(std::string_view utf8, std::string* out) {
  out->clear();
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c, len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, len = 3;
    } else {
      return false;  // four-byte characters are all outside windows-1252
    }
    if (utf8.size() - i < len) return false;
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      *out += static_cast<char>(cp);
      continue;
    }
    unsigned byte = 0x80;
    while (byte < 0xA0 && FromWindows1252(static_cast<unsigned char>(byte)) != cp) ++byte;
    if (byte == 0xA0) return false;
    *out += static_cast<char>(byte);
  }
  return true;
}

// The named character references a hand-written German page uses in a file name or an anchor;
// all of them may also stand without ';' (the legacy names).
struct NamedReference {
  std::string_view name;
  char32_t cp;
};
constexpr NamedReference kNamed[] = {
    {"amp", '&'},   {"lt", '<'},     {"gt", '>'},      {"quot", '"'},    {"nbsp", 0xA0},
    {"auml", 0xE4}, {"ouml", 0xF6},  {"uuml", 0xFC},   {"Auml", 0xC4},   {"Ouml", 0xD6},
    {"Uuml", 0xDC}, {"szlig", 0xDF}, {"eacute", 0xE9}, {"egrave", 0xE8}, {"copy", 0xA9}};

// A character reference at raw[at] ('&'): its character into *cp and its length, or 0.
size_t CharacterReference(std::string_view raw, size_t at, char32_t* cp) {
  size_t i = at + 1;
  if (i < raw.size() && raw[i] == '#') {
    ++i;
    const bool hex = i < raw.size() && (raw[i] == 'x' || raw[i] == 'X');
    if (hex) ++i;
    const size_t digits = i;
    uint32_t value = 0;
    for (; i < raw.size(); ++i) {
      const int d = hex ? HexValue(raw[i]) : (IsAsciiDigit(raw[i]) ? raw[i] - '0' : -1);
      if (d < 0) break;
      value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(d), 0x110000);
    }
    if (i == digits) return 0;
    if (i < raw.size() && raw[i] == ';') ++i;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      value = 0xFFFD;
    } else if (value >= 0x80 && value < 0xA0) {
      value = FromWindows1252(static_cast<unsigned char>(value));
    }
    *cp = value;
    return i - at;
  }
  for (const NamedReference& named : kNamed) {
    if (raw.compare(i, named.name.size(), named.name) != 0) continue;
    const size_t after = i + named.name.size();
    if (after < raw.size() && raw[after] == ';') {
      *cp = named.cp;
      return after + 1 - at;
    }
    // Without ';' in an attribute only when no letter, digit or '=' follows.
    if (after < raw.size() &&
        (IsAsciiAlpha(raw[after]) || IsAsciiDigit(raw[after]) || raw[after] == '=')) {
      return 0;
    }
    *cp = named.cp;
    return after - at;
  }
  return 0;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool IsHtmlName(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == npos || path.find('/', dot) != npos) return false;
  const std::string ext = LowerAscii(path.substr(dot + 1));
  return ext == "htm" || ext == "html";
}

std::string Join(const std::vector<std::string>& segments, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i) out += '/';
    out += segments[i];
  }
  return out;
}

// The segments of a page path of include.txt from the site folder; false when it leaves it.
bool PageSegments(std::string_view page, std::vector<std::string>* out) {
  out->clear();
  size_t begin = 0;
  while (begin <= page.size()) {
    size_t end = page.find('/', begin);
    if (end == npos) end = page.size();
    const std::string_view s = page.substr(begin, end - begin);
    if (s == "..") {
      if (out->empty()) return false;
      out->pop_back();
    } else if (!s.empty() && s != ".") {
      out->emplace_back(s);
    }
    begin = end + 1;
  }
  return !out->empty();
}

uint64_t AnchorHash(std::string_view anchor) { return std::hash<std::string_view>{}(anchor); }

// The fragment of a value, from its '#', as ParseReference takes it: white space at the end,
// tabs and newlines dropped, %XX decoded.
std::string FragmentOf(std::string_view from_hash) {
  size_t end = from_hash.size();
  while (end > 1 && static_cast<unsigned char>(from_hash[end - 1]) <= 0x20) --end;
  std::string fragment;
  for (char c : from_hash.substr(1, end - 1)) {
    if (c != '\t' && c != '\n' && c != '\r') fragment += c;
  }
  return PercentDecode(fragment);
}

// Which attributes of a start tag hold references; srcset ones are split first.
struct RefAttribute {
  std::string_view name;
  bool srcset;
};
struct RefAttributes {
  const RefAttribute* begin;
  size_t count;
};
RefAttributes ReferenceAttributes(const html::Tag& tag) {
  static constexpr RefAttribute kHref[] = {{"href", false}};
  static constexpr RefAttribute kImage[] = {{"src", false}, {"srcset", true}};
  static constexpr RefAttribute kData[] = {{"data", false}};
  static constexpr RefAttribute kPoster[] = {{"poster", false}};
  static constexpr RefAttribute kBackground[] = {{"background", false}};
  const std::string_view n = tag.name;
  // Most tags are none of these: the first letter tells most of them apart cheaply.
  if (n.empty() || n.size() > 6 || !std::strchr("abefilostv", n[0])) return {nullptr, 0};
  if (n == "a" || n == "area" || n == "link") return {kHref, 1};
  if (n == "img" || n == "source") return {kImage, 2};
  if (n == "script" || n == "iframe" || n == "frame" || n == "embed") return {kImage, 1};
  if (n == "object") return {kData, 1};
  if (n == "video") return {kPoster, 1};
  if (n == "body" || n == "table" || n == "td" || n == "th") return {kBackground, 1};
  if (n == "input") {
    const html::Attribute* type = tag.Find("type");
    if (type && EqualsNoCase(type->value, "image")) return {kImage, 1};
  }
  return {nullptr, 0};
}

}  // namespace

PageEncoding GuessPageEncoding(std::string_view bytes) {
  const FileEncoding declared = DetectPageEncoding(bytes);
  if (declared.name == "UTF-8") return PageEncoding::kUtf8;
  if (declared.name == "windows-1252") return PageEncoding::kWindows1252;
  return IsValidUtf8(bytes) ? PageEncoding::kUtf8 : PageEncoding::kWindows1252;
}

std::string DecodeAttribute(std::string_view raw, PageEncoding encoding) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const auto c = static_cast<unsigned char>(raw[i]);
    char32_t cp;
    if (c == '&') {
      if (const size_t len = CharacterReference(raw, i, &cp); len != 0) {
        AppendUtf8(cp, out);
        i += len;
        continue;
      }
    }
    if (c >= 0x80 && encoding == PageEncoding::kWindows1252) {
      AppendUtf8(FromWindows1252(c), out);
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

std::vector<SrcsetUrl> SplitSrcset(std::string_view raw) {
  std::vector<SrcsetUrl> urls;
  size_t i = 0;
  const size_t n = raw.size();
  while (true) {
    while (i < n && (IsAsciiSpace(raw[i]) || raw[i] == ',')) ++i;
    if (i >= n) return urls;
    const size_t begin = i;
    while (i < n && !IsAsciiSpace(raw[i])) ++i;
    size_t end = i;
    if (raw[end - 1] == ',') {
      // A URL ending in commas has no descriptors: the commas end the candidate.
      while (end > begin && raw[end - 1] == ',') --end;
    } else {
      // Descriptors run to the first comma outside parentheses.
      bool in_parens = false;
      for (; i < n; ++i) {
        if (in_parens) {
          in_parens = raw[i] != ')';
        } else if (raw[i] == '(') {
          in_parens = true;
        } else if (raw[i] == ',') {
          ++i;
          break;
        }
      }
    }
    if (end > begin) urls.push_back({begin, raw.substr(begin, end - begin)});
  }
}

Reference ParseReference(std::string_view value) {
  Reference ref;
  // The URL parser's first steps: C0 controls and spaces around go, tabs and newlines inside.
  size_t first = 0, last = value.size();
  while (first < last && static_cast<unsigned char>(value[first]) <= 0x20) ++first;
  while (last > first && static_cast<unsigned char>(value[last - 1]) <= 0x20) --last;
  for (char c : value.substr(first, last - first)) {
    if (c != '\t' && c != '\n' && c != '\r') ref.text += c;
  }
  const std::string& t = ref.text;
  if (t.empty() || t == "#") return ref;
  if ((t.size() >= 3 && IsAsciiAlpha(t[0]) && t[1] == ':' && (t[2] == '\\' || t[2] == '/')) ||
      t.compare(0, 2, "\\\\") == 0) {
    ref.kind = Reference::Kind::kMachinePath;
    return ref;
  }
  if (IsAsciiAlpha(t[0])) {
    size_t i = 1;
    while (i < t.size() && (IsAsciiAlpha(t[i]) || IsAsciiDigit(t[i]) || t[i] == '+' ||
                            t[i] == '-' || t[i] == '.')) {
      ++i;
    }
    if (i < t.size() && t[i] == ':') {
      if (EqualsNoCase(t.substr(0, i), "file")) ref.kind = Reference::Kind::kMachinePath;
      return ref;
    }
  }
  auto slash = [](char c) { return c == '/' || c == '\\'; };
  if (t.size() >= 2 && slash(t[0]) && slash(t[1])) return ref;  // //host/...
  ref.kind = Reference::Kind::kLocal;
  const size_t path_end = std::min(t.find('?'), t.find('#'));
  const size_t hash = t.find('#');
  if (hash != npos) {
    ref.has_fragment = true;
    ref.fragment = PercentDecode(std::string_view(t).substr(hash + 1));
  }
  const std::string_view path = std::string_view(t).substr(0, std::min(path_end, t.size()));
  ref.backslash = path.find('\\') != npos;
  ref.root = !path.empty() && slash(path[0]);
  if (path.empty()) return ref;
  for (size_t begin = ref.root ? 1 : 0; begin <= path.size();) {
    size_t end = begin;
    while (end < path.size() && !slash(path[end])) ++end;
    ref.segments.push_back(PercentDecode(path.substr(begin, end - begin)));
    ref.spans.emplace_back(begin, end);
    begin = end + 1;
  }
  return ref;
}

struct LinkCheck::Target {
  enum Problem { kNone, kMissing, kCase, kWindows1252, kNoIndex, kBackups, kOutside };
  Problem problem = kNone;
  std::string path;  // the file reached, site-relative; empty when none
  // The reference's path with the names as the disk has them, to be followed by the query and
  // fragment of the reference at hand; or, where a misspelt name came from the base, the path
  // from the site folder alone.
  std::string right;
  bool right_is_written = false;
  size_t listed = npos;  // path's first place in include.txt

  // "die Datei heißt ..." for the reference `text`.
  std::string RightFor(std::string_view text) const {
    const size_t query = std::min(text.find('?'), text.find('#'));
    return right_is_written && query != npos ? right + std::string(text.substr(query)) : right;
  }
};

// What a reference means up to its fragment, the same from every page of a folder.
struct LinkCheck::Outcome {
  Reference::Kind kind = Reference::Kind::kSkipped;
  bool backslash = false;
  bool same_document = false;  // no path: the page itself, or its base
  bool has_target = false;     // a path, and where it leads
  Target target;
};

struct LinkCheck::CachedOutcome {
  std::string key;
  Outcome outcome;
};

// Where a finding was put: its list and place, the key that reported it once, and the list
// index of the page it was found in.
struct LinkCheck::Placed {
  std::vector<Finding>* list = nullptr;
  size_t at = 0;
  std::string once;
  size_t page = 0;
};

// What the references of a shared span do beyond findings, which are reported once anyway.
struct LinkCheck::SpanSeen {
  struct Unlisted {
    size_t offset;  // from the span's start
    std::string reached, text;
  };
  std::vector<size_t> listed;      // the listed pages they reach
  std::vector<Unlisted> unlisted;  // the pages outside include.txt they reach, in page order
};

// A shared span in the page being checked: met before (`seen`), or being remembered.
struct LinkCheck::SpanUse {
  size_t begin, end;
  std::string key;
  const SpanSeen* seen = nullptr;
  bool used = false;
  SpanSeen remembered;
};

struct LinkCheck::Pending {
  std::string target, fragment;
  RefOrigin origin;
  size_t page;
};

// The anchors of a listed page: [begin, end) of anchor_hashes_, sorted.
struct LinkCheck::PageAnchors {
  uint32_t begin = 0, end = 0;
  bool read = false;
};

// A folder's names, sorted with ASCII letters folded, then by their bytes: the names that
// differ only in letter case stand together, and the first of them is always the same one.
struct LinkCheck::Entry {
  std::string name;
  bool regular;  // a regular file (links not followed)
};

struct LinkCheck::Folder {
  std::vector<Entry> entries;

  static bool FoldedLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(Lower(x)) < static_cast<unsigned char>(Lower(y));
    });
  }

  explicit Folder(std::vector<FolderEntry>&& listed) {
    entries.reserve(listed.size());
    for (FolderEntry& e : listed) entries.push_back({std::move(e.name), e.regular});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return FoldedLess(a.name, b.name) || (!FoldedLess(b.name, a.name) && a.name < b.name);
    });
  }

  // The entry of `name`: the same bytes, else the same up to ASCII letter case.
  const Entry* Find(std::string_view name, bool* exact_match) const {
    const auto [first, last] = std::equal_range(
        entries.begin(), entries.end(), name,
        [](const auto& a, const auto& b) { return FoldedLess(NameOf(a), NameOf(b)); });
    const auto same = std::find_if(first, last, [&](const Entry& e) { return e.name == name; });
    *exact_match = same != last;
    return same != last ? &*same : first != last ? &*first : nullptr;
  }

 private:
  static std::string_view NameOf(const Entry& e) { return e.name; }
  static std::string_view NameOf(std::string_view name) { return name; }
};

// The listed pages by their path from the site folder, each at its first place in include.txt.
// The paths are include.txt's own lines, but for the few spelt otherwise (./a.htm): beside
// each place only its path's hash is kept, not a second copy of every name.
class LinkCheck::Listed {
 public:
  explicit Listed(const std::vector<std::string>& pages) : pages_(pages) {
    std::vector<std::string> segments;
    for (size_t i = 0; i < pages.size(); ++i) {
      if (!PageSegments(pages[i], &segments)) continue;
      std::string path = Join(segments, segments.size());
      by_hash_.emplace_back(Hash(path), i);
      if (path != pages[i]) respelt_.try_emplace(i, std::move(path));
    }
    std::sort(by_hash_.begin(), by_hash_.end());
  }

  // The first place of `path`, npos when it is not listed: places are sorted within a hash.
  size_t Find(std::string_view path) const {
    const uint64_t hash = Hash(path);
    for (auto e = std::lower_bound(by_hash_.begin(), by_hash_.end(), std::pair(hash, size_t{0}));
         e != by_hash_.end() && e->first == hash; ++e) {
      if (Path(e->second) == path) return e->second;
    }
    return npos;
  }

  // Each listed path's first place, in no particular order.
  template <class F>
  void ForEach(F f) const {
    for (const auto& e : by_hash_) {
      if (Find(Path(e.second)) == e.second) f(e.second);
    }
  }

 private:
  static uint64_t Hash(std::string_view path) { return std::hash<std::string_view>{}(path); }
  std::string_view Path(size_t i) const {
    const auto respelt = respelt_.find(i);
    return respelt == respelt_.end() ? std::string_view(pages_[i]) : respelt->second;
  }

  const std::vector<std::string>& pages_;
  std::vector<std::pair<uint64_t, size_t>> by_hash_;  // sorted
  std::unordered_map<size_t, std::string> respelt_;
};

LinkCheck::LinkCheck(FileSystem& fs, const std::vector<std::string>& pages)
    : fs_(fs),
      pages_(pages),
      listed_(std::make_unique<Listed>(pages)),
      linked_(pages.size(), false),
      page_anchors_(pages.size()) {}

LinkCheck::~LinkCheck() = default;

LinkCheck::Folder* LinkCheck::ListFolder(const std::string& path) {
  auto [it, inserted] = folders_.try_emplace(path);
  if (inserted) {
    std::vector<FolderEntry> listed;
    if (fs_.ListNames(path.empty() ? "." : path, &listed)) {
      it->second = std::make_unique<Folder>(std::move(listed));
    }
  }
  return it->second.get();
}

// Dot segments first, by the text alone, as a browser does before it asks the server: the
// path from the site folder into *path, and for each segment the reference's segment it comes
// from (-1: from the base). False when the path climbs out of the site folder.
bool LinkCheck::Normalize(const std::vector<std::string>& base_folder, const Reference& ref,
                          std::vector<std::string>* path, std::vector<int>* owner) {
  *path = ref.root ? std::vector<std::string>() : base_folder;
  owner->assign(path->size(), -1);
  for (size_t i = 0; i < ref.segments.size(); ++i) {
    const std::string& s = ref.segments[i];
    const bool last = i + 1 == ref.segments.size();
    if (s == "..") {
      if (path->empty()) return false;
      path->pop_back();
      owner->pop_back();
    }
    if ((s == "." || s == ".." || s.empty()) && !last) continue;
    path->push_back(s == "." || s == ".." ? std::string() : s);
    owner->push_back(static_cast<int>(i));
  }
  if (path->empty()) path->emplace_back();  // the site folder itself
  return true;
}

// The index page of `folder` into target.path, or kNoIndex.
void LinkCheck::FindIndex(const std::string& folder, Target& target) {
  if (Folder* f = ListFolder(folder)) {
    bool exact = false;
    for (const char* index : {"index.htm", "index.html"}) {
      const Entry* e = f->Find(index, &exact);
      if (e && exact) {
        target.path = folder.empty() ? index : folder + "/" + index;
        return;
      }
    }
  }
  target.problem = Target::kNoIndex;
}

// The entry for `name` in `folder`: by its bytes, its letter case or its windows-1252 bytes;
// a name the disk spells otherwise goes to *respelled. Null when there is none.
const LinkCheck::Entry* LinkCheck::Lookup(const std::string& folder, const std::string& name,
                                          int owner, Target& target,
                                          std::vector<std::pair<int, std::string>>* respelled) {
  Folder* f = ListFolder(folder);
  if (!f) return nullptr;
  bool exact = false;
  const Entry* entry = f->Find(name, &exact);
  std::string legacy;
  if ((!entry || !exact) && Utf8ToCp1252(name, &legacy) && legacy != name) {
    // The server knows only the name's windows-1252 bytes; the browser asks for UTF-8.
    bool legacy_exact = false;
    if (const Entry* e = f->Find(legacy, &legacy_exact)) {
      target.problem = Target::kWindows1252;
      respelled->emplace_back(owner, Cp1252ToUtf8(e->name));
      return e;
    }
  }
  if (entry && !exact) {
    if (target.problem == Target::kNone) target.problem = Target::kCase;
    respelled->emplace_back(owner, entry->name);
  }
  return entry;
}

LinkCheck::Target LinkCheck::Resolve(const std::vector<std::string>& base_folder,
                                     const Reference& ref) {
  Target target;
  Walk(base_folder, ref, target);
  target.listed = listed_->Find(target.path);
  return target;
}

// The path of `ref` from `base_folder`, name by name in the folders' listings.
void LinkCheck::Walk(const std::vector<std::string>& base_folder, const Reference& ref,
                     Target& target) {
  std::vector<std::string> path;
  std::vector<int> owner;
  if (!Normalize(base_folder, ref, &path, &owner)) {
    target.problem = Target::kOutside;
    return;
  }
  if (path[0] == kBackupFolder) {
    target.problem = Target::kBackups;
    return;
  }
  std::string folder;  // as the disk spells it
  std::vector<std::pair<int, std::string>> respelled;
  for (size_t k = 0; k < path.size(); ++k) {
    if (path[k].empty()) {  // only ever last: the path ends in '/'
      FindIndex(folder, target);
      break;
    }
    const Entry* entry = Lookup(folder, path[k], owner[k], target, &respelled);
    const std::string full = entry ? (folder.empty() ? "" : folder + "/") + entry->name : "";
    Probe probe = Probe::kAbsent;
    const bool is_folder = entry && !entry->regular && ListFolder(full) != nullptr;
    const bool is_file =
        entry &&
        (entry->regular || (!is_folder && fs_.ProbeFile(full, &probe) && probe == Probe::kFile));
    const bool last = k + 1 == path.size();
    if (!(is_folder || (is_file && last))) {
      target.problem = Target::kMissing;
      return;
    }
    folder = full;
    if (last && is_folder) FindIndex(folder, target);
    if (last && !is_folder) target.path = folder;
  }
  if (target.problem == Target::kCase || target.problem == Target::kWindows1252) {
    Respell(ref, respelled, folder, target);
  }
}

// The reference's path with the names as the disk spells them; the path from the site folder
// when a misspelt name came from the base.
void LinkCheck::Respell(const Reference& ref,
                        const std::vector<std::pair<int, std::string>>& respelled,
                        const std::string& folder, Target& target) {
  const bool all_written =
      std::all_of(respelled.begin(), respelled.end(), [](const auto& r) { return r.first >= 0; });
  if (all_written) {
    target.right = ref.text.substr(0, std::min(ref.text.find('?'), ref.text.find('#')));
    target.right_is_written = true;
    for (auto r = respelled.rbegin(); r != respelled.rend(); ++r) {
      const auto [begin, end] = ref.spans[static_cast<size_t>(r->first)];
      target.right.replace(begin, end - begin, r->second);
    }
  } else {
    target.right = target.problem == Target::kWindows1252 ? Cp1252ToUtf8(folder) : folder;
  }
  target.path.clear();  // the browser does not get there
}

void LinkCheck::Report(const RefOrigin& origin, std::string_view page, Severity severity,
                       std::string text, std::vector<Finding>& out, Placed* placed) {
  std::string once;
  if (!origin.once.empty()) {
    once = origin.once + '\0' + text;
    if (!reported_once_.insert(once).second) return;
    text = msg::CheckedIn(text, page);
  }
  std::vector<Finding>& list = origin.file == page ? out : kept_;
  list.push_back({origin.file, origin.line, severity, std::move(text)});
  if (placed) *placed = {&list, list.size() - 1, std::move(once), placed->page};
}

namespace {
bool IsPlain(std::string_view raw) {
  return std::all_of(raw.begin(), raw.end(),
                     [](char c) { return c != '&' && static_cast<unsigned char>(c) < 0x80; });
}
}  // namespace

// One page while it is checked.
struct LinkCheck::PageScan {
  PageScan(size_t i, const std::string& p, std::string_view b, std::vector<Finding>& o,
           const OriginOf& of)
      : index(i), page(p), bytes(b), out(o), origin_of(of), lines(b) {}

  size_t index;
  const std::string& page;
  std::string_view bytes;
  std::vector<Finding>& out;
  const OriginOf& origin_of;
  html::LineCounter lines;
  std::string key;                // the page's path from the site folder
  std::vector<std::string> base;  // the folder relative references start from
  std::optional<PageEncoding> encoding;
  std::vector<std::pair<size_t, std::string_view>> refs;  // in page order
  bool have_base = false, remote_base = false;
  size_t base_offset = 0;
  std::string_view base_value;
  Reference document;  // where a reference without path leads: the page, or the base's target
  std::optional<Target> document_target;
  std::vector<SpanUse> spans;

  SpanUse* SpanAt(size_t offset) {
    auto it = std::upper_bound(spans.begin(), spans.end(), offset,
                               [](size_t o, const SpanUse& s) { return o < s.begin; });
    return it != spans.begin() && offset < std::prev(it)->end ? &*std::prev(it) : nullptr;
  }

  std::string Decode(std::string_view raw) {
    if (IsPlain(raw)) return std::string(raw);
    if (!encoding) encoding = GuessPageEncoding(bytes);
    return DecodeAttribute(raw, *encoding);
  }
  RefOrigin OriginAt(size_t offset) {
    const size_t line = lines.LineOf(offset);
    return origin_of ? origin_of(offset, line) : RefOrigin{page, line, {}};
  }
};

void LinkCheck::CheckPage(size_t index, std::string_view bytes, std::vector<Finding>& out,
                          const OriginOf& origin_of, const std::vector<SharedSpan>& shared) {
  PageScan scan(index, pages_[index], bytes, out, origin_of);
  std::vector<std::string> page_path;
  if (!PageSegments(scan.page, &page_path)) return;  // a page outside the site folder
  scan.base.assign(page_path.begin(), page_path.end() - 1);
  scan.key = Join(page_path, page_path.size());
  Collect(scan);
  if (scan.have_base) SetBase(scan);
  // Most references repeat from page to page (a menu): what one means is kept per folder it
  // is seen from, so that a repeat costs one lookup, and a block met before in the folder none.
  if (!scan.have_base) FindSpans(scan, shared);
  const std::string folder = Join(scan.base, scan.base.size()) + '\0';
  std::string key, decoded;
  for (const auto& [offset, raw] : scan.refs) {
    SpanUse* span = scan.SpanAt(offset);
    if (span && span->seen) {
      if (!span->used) UseSpan(scan, *span);
      continue;
    }
    const bool plain = IsPlain(raw);
    if (!plain) decoded = scan.Decode(raw);
    const std::string_view value = plain ? raw : std::string_view(decoded);
    // A fragment does not change where a path leads: "a.htm#x" asks what "a.htm" does.
    const size_t hash = value.find('#');
    if (hash == npos || (hash > 0 && static_cast<unsigned char>(value[hash - 1]) > 0x20)) {
      key.assign(folder).append(value.substr(0, hash));
      const Outcome& o = OutcomeOf(key, value.substr(0, hash), scan.base);
      const std::string fragment = hash == npos ? std::string() : FragmentOf(value.substr(hash));
      CheckReference(scan, offset, raw, value, o, fragment, nullptr);
      if (span) Remember(*span, offset, raw, o);
    } else {
      const Reference ref = ParseReference(value);
      CheckReference(scan, offset, raw, value, Evaluate(ref, scan.base), ref.fragment, &ref);
    }
  }
  for (SpanUse& span : scan.spans) {
    if (span.seen) continue;
    std::vector<size_t>& listed = span.remembered.listed;
    std::sort(listed.begin(), listed.end());
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    spans_.try_emplace(std::move(span.key), std::move(span.remembered));
  }
}

// The shared spans whose references mean the same wherever they stand: each one plain, without
// a fragment (the page's own anchors), within the span, and the same references where the
// span was met before (the tokenizer may have entered it in another state).
void LinkCheck::FindSpans(PageScan& scan, const std::vector<SharedSpan>& shared) {
  const std::string folder = Join(scan.base, scan.base.size());
  for (const SharedSpan& s : shared) {
    bool same_everywhere = true;
    uint64_t refs = 0;
    for (const auto& [offset, raw] : scan.refs) {
      if (offset < s.begin || offset >= s.end) continue;
      same_everywhere =
          same_everywhere && offset + raw.size() <= s.end && IsPlain(raw) && raw.find('#') == npos;
      const uint64_t place[2] = {offset - s.begin, raw.size()};
      refs = XXH3_64bits_withSeed(place, sizeof place, refs);
    }
    if (!same_everywhere) continue;
    const uint64_t identity[3] = {s.sources, refs,
                                  XXH3_64bits(scan.bytes.data() + s.begin, s.end - s.begin)};
    SpanUse use;
    use.begin = s.begin;
    use.end = s.end;
    use.key = folder + '\0';
    use.key.append(reinterpret_cast<const char*>(identity), sizeof identity);
    if (const auto seen = spans_.find(use.key); seen != spans_.end()) use.seen = &seen->second;
    scan.spans.push_back(std::move(use));
  }
}

// A span met before: the links it makes, and the notes a page earlier in include.txt takes
// over; its findings were reported where it was met first.
void LinkCheck::UseSpan(PageScan& scan, SpanUse& span) {
  span.used = true;
  const size_t own = listed_->Find(scan.key);
  for (size_t listed : span.seen->listed) {
    if (listed != scan.index && listed != own) {
      linked_[listed] = true;
    }
  }
  for (const SpanSeen::Unlisted& u : span.seen->unlisted) {
    NoteUnlisted(scan, span.begin + u.offset, u.reached, u.text);
  }
}

void LinkCheck::Remember(SpanUse& span, size_t offset, std::string_view raw, const Outcome& o) {
  const Target* t = o.has_target ? &o.target : nullptr;
  if (!t || t->problem != Target::kNone) return;
  if (t->listed != npos) {
    span.remembered.listed.push_back(t->listed);
    return;
  }
  if (IsHtmlName(t->path)) {
    span.remembered.unlisted.push_back({offset - span.begin, t->path, ParseReference(raw).text});
  }
}

// The references in page order, the page's anchors, and its first <base href>, which counts
// for every reference, also those before it.
void LinkCheck::Collect(PageScan& scan) {
  std::vector<uint64_t> anchors;
  html::Tag tag;
  for (html::Tokenizer tokenizer(scan.bytes); tokenizer.Next(tag);) {
    if (tag.end) continue;
    if (const html::Attribute* id = tag.Find("id")) {
      anchors.push_back(AnchorHash(scan.Decode(id->value)));
    }
    const std::string_view tag_name = tag.name;
    if (tag_name == "a") {
      if (const html::Attribute* name = tag.Find("name")) {
        anchors.push_back(AnchorHash(scan.Decode(name->value)));
      }
    } else if (tag_name == "base" && !scan.have_base) {
      if (const html::Attribute* href = tag.Find("href")) {
        scan.have_base = true;
        scan.base_offset = href->value_offset;
        scan.base_value = href->value;
      }
    }
    const RefAttributes wanted_list = ReferenceAttributes(tag);
    for (size_t w = 0; w < wanted_list.count; ++w) {
      const RefAttribute& wanted = wanted_list.begin[w];
      const html::Attribute* a = tag.Find(wanted.name);
      if (a && !wanted.srcset) scan.refs.emplace_back(a->value_offset, a->value);
      if (!a || !wanted.srcset) continue;
      for (const SrcsetUrl& url : SplitSrcset(a->value)) {
        scan.refs.emplace_back(a->value_offset + url.offset, url.url);
      }
    }
  }
  if (const size_t listed = listed_->Find(scan.key); listed != npos) KeepAnchors(listed, anchors);
}

// A listed page's anchors, from then on known by its first place in include.txt.
void LinkCheck::KeepAnchors(size_t listed, std::vector<uint64_t>& anchors) {
  std::sort(anchors.begin(), anchors.end());
  anchors.erase(std::unique(anchors.begin(), anchors.end()), anchors.end());
  PageAnchors& kept = page_anchors_[listed];
  kept.begin = static_cast<uint32_t>(anchor_hashes_.size());
  anchor_hashes_.insert(anchor_hashes_.end(), anchors.begin(), anchors.end());
  kept.end = static_cast<uint32_t>(anchor_hashes_.size());
  kept.read = true;
}

bool LinkCheck::HasAnchor(const PageAnchors& page, std::string_view anchor) const {
  return std::binary_search(anchor_hashes_.begin() + page.begin, anchor_hashes_.begin() + page.end,
                            AnchorHash(anchor));
}

// A relative base moves where relative references start; a web address leaves them unchecked;
// a base on this machine or outside the site is reported as a reference and leaves them too.
void LinkCheck::SetBase(PageScan& scan) {
  const Reference b = ParseReference(scan.Decode(scan.base_value));
  scan.document.kind = Reference::Kind::kLocal;
  scan.document.root = true;
  if (b.kind == Reference::Kind::kLocal && !b.segments.empty()) {
    std::vector<std::string> full;
    std::vector<int> owner;
    if (Normalize(scan.base, b, &full, &owner)) {
      scan.base.assign(full.begin(), full.end() - 1);
      scan.document.segments = full;
      scan.document.text = "/" + Join(full, full.size());
      return;
    }
  }
  if (b.kind == Reference::Kind::kLocal && b.segments.empty()) return;  // "?x", "#x": no base
  if (b.kind == Reference::Kind::kSkipped && (b.text == "#" || b.text.empty())) return;
  scan.remote_base = true;
  if (b.kind == Reference::Kind::kSkipped) {
    Report(scan.OriginAt(scan.base_offset), scan.page, Severity::kNote, msg::BaseElsewhere(b.text),
           scan.out);
  } else {
    scan.refs.insert(scan.refs.begin(), {scan.base_offset, scan.base_value});
  }
}

// `raw` as written, `value` decoded, `fragment` decoded; `parsed` where `value` was parsed.
void LinkCheck::CheckReference(PageScan& scan, size_t offset, std::string_view raw,
                               std::string_view value, const Outcome& o,
                               const std::string& fragment, const Reference* parsed) {
  if (o.kind == Reference::Kind::kSkipped) return;
  // Lines are counted, and the reference's text made, only for what is reported.
  std::optional<RefOrigin> known_origin;
  auto origin = [&]() -> const RefOrigin& {
    if (!known_origin) known_origin = scan.OriginAt(offset);
    return *known_origin;
  };
  std::optional<Reference> own;
  auto text = [&]() -> const std::string& {
    if (!parsed) parsed = &own.emplace(ParseReference(value));
    return parsed->text;
  };
  if (o.kind == Reference::Kind::kMachinePath) {
    Report(origin(), scan.page, Severity::kWarning, msg::LinkToMachinePath(text()), scan.out);
    return;
  }
  const bool is_base = offset == scan.base_offset && raw.data() == scan.base_value.data();
  if (scan.remote_base && !is_base) return;
  if (o.backslash) {
    Report(origin(), scan.page, Severity::kWarning, msg::LinkWithBackslash(text()), scan.out);
  }
  const Target* t = o.has_target ? &o.target : nullptr;
  if (o.same_document && !scan.document.segments.empty()) {
    if (!scan.document_target) scan.document_target = Resolve({}, scan.document);
    t = &*scan.document_target;
    if (t->problem != Target::kNone) return;  // reported at the base
  }
  if (t && t->problem != Target::kNone) {
    ReportProblem(*t, text(), origin(), scan);
    return;
  }
  const std::string& reached = t ? t->path : scan.key;
  const size_t listed_index = t ? t->listed : listed_->Find(scan.key);
  const bool html = IsHtmlName(reached);
  if (listed_index != npos) {
    if (listed_index != scan.index && reached != scan.key) linked_[listed_index] = true;
  } else if (html) {
    NoteUnlisted(scan, offset, reached, text());
  }
  // "#top" needs no anchor: without one the browser goes to the top of the page.
  if (!html || fragment.empty() || EqualsNoCase(fragment, "top")) return;
  // A page already read is asked at once; the others when all pages have been read.
  if (listed_index == npos || !page_anchors_[listed_index].read) {
    pending_.push_back({reached, fragment, origin(), scan.index});
  } else if (!HasAnchor(page_anchors_[listed_index], fragment)) {
    Report(origin(), scan.page, Severity::kWarning, msg::AnchorMissing(fragment, reached),
           scan.out);
  }
}

// Once per page reached, at its first reference in include.txt order: a page checked later
// that stands earlier in the list takes the note over.
void LinkCheck::NoteUnlisted(PageScan& scan, size_t offset, const std::string& reached,
                             const std::string& text) {
  auto [it, first] = unlisted_.try_emplace(reached);
  Placed& placed = it->second;
  if (!first && placed.page <= scan.index) return;
  if (!first) {
    // The same fragment line in the same folder: its key must not keep the new note out.
    reported_once_.erase(placed.once);
    if (placed.list) withdrawn_.emplace_back(placed.list, placed.at);
  }
  placed.page = scan.index;
  Report(scan.OriginAt(offset), scan.page, Severity::kNote, msg::LinkToUnlistedPage(text), scan.out,
         &placed);
}

void LinkCheck::ReportProblem(const Target& t, const std::string& text, const RefOrigin& origin,
                              PageScan& scan) {
  const auto report = [&](Severity severity, std::string text) {
    Report(origin, scan.page, severity, std::move(text), scan.out);
  };
  switch (t.problem) {
    case Target::kNone:
      break;
    case Target::kMissing:
      report(Severity::kError, msg::LinkToMissingFile(text));
      break;
    case Target::kCase:
      report(Severity::kError, msg::LinkWrongCase(text, t.RightFor(text)));
      break;
    case Target::kWindows1252:
      report(Severity::kError, msg::LinkWindows1252Name(text, t.RightFor(text)));
      break;
    case Target::kNoIndex:
      report(Severity::kWarning, msg::LinkToFolderWithoutIndex(text));
      break;
    case Target::kBackups:
      report(Severity::kWarning, msg::LinkIntoBackups(text));
      break;
    case Target::kOutside:
      report(Severity::kWarning, msg::LinkLeavesFolder(text));
      break;
  }
}

LinkCheck::Outcome LinkCheck::Evaluate(const Reference& ref, const std::vector<std::string>& base) {
  Outcome o;
  o.kind = ref.kind;
  o.backslash = ref.backslash;
  if (ref.kind != Reference::Kind::kLocal) return o;
  o.same_document = ref.segments.empty();
  o.has_target = !o.same_document;
  if (o.has_target) o.target = Resolve(base, ref);
  return o;
}

// `key`: the folder seen from, '\0', then `value`. Repeats are near each other (a menu, the
// next page's link back), so a fixed number of slots keeps nearly every one, and memory does
// not grow with the site's distinct references. Valid until the next call.
const LinkCheck::Outcome& LinkCheck::OutcomeOf(const std::string& key, std::string_view value,
                                               const std::vector<std::string>& base) {
  constexpr size_t kSlots = 1024;
  if (outcomes_.empty()) outcomes_.resize(kSlots);
  CachedOutcome& slot = outcomes_[std::hash<std::string>{}(key) % kSlots];
  // A key holds at least the '\0': an empty slot matches none.
  if (slot.key != key) {
    slot.outcome = Evaluate(ParseReference(value), base);
    slot.key = key;
  }
  return slot.outcome;
}

// Whether the page at `path` has `anchor`: a page not checked is read for it, once. Nullopt
// when it cannot be read.
std::optional<bool> LinkCheck::HasAnchorIn(const std::string& path, std::string_view anchor) {
  const size_t listed = listed_->Find(path);
  if (listed != npos && page_anchors_[listed].read) return HasAnchor(page_anchors_[listed], anchor);
  auto [it, inserted] = other_anchors_.try_emplace(path);
  if (inserted) {
    std::string bytes;
    if (!fs_.ReadFile(path, &bytes)) {
      other_anchors_.erase(it);
      return std::nullopt;
    }
    const PageEncoding encoding = GuessPageEncoding(bytes);
    html::Tag tag;
    for (html::Tokenizer tokenizer(bytes); tokenizer.Next(tag);) {
      if (tag.end) continue;
      if (const html::Attribute* id = tag.Find("id")) {
        it->second.push_back(AnchorHash(DecodeAttribute(id->value, encoding)));
      }
      const html::Attribute* name = tag.name == "a" ? tag.Find("name") : nullptr;
      if (name) it->second.push_back(AnchorHash(DecodeAttribute(name->value, encoding)));
    }
    if (listed != npos) {
      KeepAnchors(listed, it->second);
      other_anchors_.erase(it);
      return HasAnchor(page_anchors_[listed], anchor);
    }
    std::sort(it->second.begin(), it->second.end());
  }
  return std::binary_search(it->second.begin(), it->second.end(), AnchorHash(anchor));
}

// The notes another page took over, out of the lists they were put in.
void LinkCheck::EraseWithdrawn() {
  std::sort(withdrawn_.begin(), withdrawn_.end());
  for (auto w = withdrawn_.begin(); w != withdrawn_.end();) {
    std::vector<Finding>& list = *w->first;
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
      if (w != withdrawn_.end() && w->first == &list && w->second == i) {
        ++w;
        continue;
      }
      if (kept != i) list[kept] = std::move(list[i]);
      ++kept;
    }
    list.resize(kept);
    while (w != withdrawn_.end() && w->first == &list) ++w;  // never: each place is in range
  }
  withdrawn_.clear();
}

std::vector<Finding> LinkCheck::Finish() {
  std::vector<Finding> found;
  for (const Pending& p : pending_) {
    if (HasAnchorIn(p.target, p.fragment).value_or(true)) continue;
    Report(p.origin, pages_[p.page], Severity::kWarning, msg::AnchorMissing(p.fragment, p.target),
           found);
  }
  pending_.clear();
  const size_t first_unlinked = found.size();
  // The first page is the way in; every other listed page needs a link from another one.
  listed_->ForEach([&](size_t index) {
    if (index != 0 && !linked_[index] && page_anchors_[index].read) {
      found.push_back({kTargetListFile, index + 1, Severity::kNote, msg::PageNotLinked()});
    }
  });
  std::sort(found.begin() + static_cast<std::ptrdiff_t>(first_unlinked), found.end(),
            [](const Finding& a, const Finding& b) { return a.line < b.line; });
  EraseWithdrawn();
  found.insert(found.end(), std::make_move_iterator(kept_.begin()),
               std::make_move_iterator(kept_.end()));
  kept_.clear();
  return found;
}

}  // namespace splicery
