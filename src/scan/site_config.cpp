// SPDX-License-Identifier: GPL-3.0-or-later
// splicery.ini: the parser, then the checks of what it says.
#include "scan/site_config.h"

#include <algorithm>
#include <map>

#include "core/messages.h"
#include "scan/config_loader.h"
#include "text/display_text.h"
#include "text/lines.h"

namespace splicery {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The line without its comment: "#" at the start or after a blank begins one.
std::string_view WithoutComment(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  }
  return line;
}

struct Value {
  std::string text;
  size_t line;
};

struct Section {
  size_t line;  // of its first header
  std::map<std::string, Value> keys;
};

constexpr std::string_view kSiteKeys[] = {"adresse", "titel", "autor"};
constexpr std::string_view kFeedKeys[] = {"datei", "eintraege"};
constexpr std::string_view kSitemapKeys[] = {"datei", "auslassen"};

template <size_t N>
bool Known(const std::string_view (&keys)[N], std::string_view key) {
  return std::find(std::begin(keys), std::end(keys), key) != std::end(keys);
}

// Syntax: sections in the order met, a repeated header continuing its section.
struct Ini {
  std::map<std::string, Section> sections;
  std::vector<std::string> order;

  Section* Find(std::string_view name) {
    auto it = sections.find(std::string(name));
    return it == sections.end() ? nullptr : &it->second;
  }
};

// A key given without a value counts as missing where a value is required.
const Value* Given(const Section* section, const char* key) {
  if (!section) return nullptr;
  auto it = section->keys.find(key);
  return it == section->keys.end() ? nullptr : &it->second;
}
const Value* NonEmpty(const Section* section, const char* key) {
  const Value* found = Given(section, key);
  return found && !found->text.empty() ? found : nullptr;
}

// Reads splicery.ini line by line, then checks what it says; every problem is collected.
class Parser {
 public:
  Parser(const std::vector<std::string>& pages, std::vector<ConfigProblem>* problems)
      : pages_(pages), problems_(problems) {}

  SiteConfig Parse(std::string_view bytes) {
    problems_->clear();
    const std::vector<std::string> lines = SplitTexts(StripBom(bytes));
    for (size_t i = 0; i < lines.size(); ++i) ReadLine(i + 1, lines[i]);
    CheckNames();
    SiteConfig config;
    Section* feed = ini_.Find("feed");
    Section* sitemap = ini_.Find("sitemap");
    ReadSite(feed, sitemap, &config);
    if (feed) ReadFeed(*feed, &config);
    config.feed = Output(feed, "atom.xml");
    config.sitemap = Output(sitemap, "sitemap.xml");
    if (config.feed && config.sitemap && config.feed->file == config.sitemap->file) {
      Problem(config.sitemap->line, ConfigError::kSameFile, config.sitemap->file, {},
              config.feed->line);
    }
    if (const Value* omit = NonEmpty(sitemap, "auslassen")) config.omit = Words(omit->text);
    std::stable_sort(
        problems_->begin(), problems_->end(),
        [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
    return config;
  }

 private:
  void Problem(size_t line, ConfigError error, std::string subject = {}, std::string other = {},
               size_t other_line = 0) {
    problems_->push_back({line, error, std::move(subject), std::move(other), other_line});
  }

  void ReadLine(size_t number, const std::string& text) {
    if (!IsValidUtf8(text)) return Problem(number, ConfigError::kNotUtf8);
    const std::string_view line = Trim(WithoutComment(text));
    if (line.empty()) return;
    if (line.front() == '[') return ReadHeader(number, line);
    const size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? "" : Trim(line.substr(0, equals));
    if (key.empty()) return Problem(number, ConfigError::kBadLine);
    if (!current_) return Problem(number, ConfigError::kKeyOutsideSection, std::string(key));
    auto [it, added] = current_->keys.try_emplace(
        std::string(key), Value{std::string(Trim(line.substr(equals + 1))), number});
    if (!added) Problem(number, ConfigError::kDuplicateKey, std::string(key), {}, it->second.line);
  }

  void ReadHeader(size_t number, std::string_view line) {
    const std::string_view name = line.size() >= 2 && line.back() == ']'
                                      ? Trim(line.substr(1, line.size() - 2))
                                      : std::string_view();
    current_ = nullptr;
    if (name.empty()) return Problem(number, ConfigError::kBadSection);
    auto [it, added] = ini_.sections.try_emplace(std::string(name), Section{number, {}});
    if (added) ini_.order.push_back(it->first);
    current_ = &it->second;
  }

  void CheckNames() {
    for (const std::string& name : ini_.order) {
      const Section& section = ini_.sections[name];
      if (name != "site" && name != "feed" && name != "sitemap") {
        Problem(section.line, ConfigError::kUnknownSection, name);
        continue;
      }
      for (const auto& [key, value] : section.keys) {
        const bool known = name == "site"   ? Known(kSiteKeys, key)
                           : name == "feed" ? Known(kFeedKeys, key)
                                            : Known(kSitemapKeys, key);
        if (!known) Problem(value.line, ConfigError::kUnknownKey, key, name);
      }
    }
  }

  void ReadSite(const Section* feed, const Section* sitemap, SiteConfig* config) {
    const Section* site = ini_.Find("site");
    if (const Value* address = NonEmpty(site, "adresse")) {
      config->base = ParseBaseUrl(address->text);
      if (!config->base) Problem(address->line, ConfigError::kAddressMalformed, address->text);
    } else {
      if (feed) Problem(feed->line, ConfigError::kAddressMissing, "feed");
      if (sitemap) Problem(sitemap->line, ConfigError::kAddressMissing, "sitemap");
    }
    if (const Value* title = NonEmpty(site, "titel")) config->title = title->text;
    if (const Value* author = NonEmpty(site, "autor")) config->author = author->text;
  }

  void ReadFeed(const Section& feed, SiteConfig* config) {
    if (config->title.empty()) Problem(feed.line, ConfigError::kKeyMissing, "titel");
    if (config->author.empty()) Problem(feed.line, ConfigError::kKeyMissing, "autor");
    const Value* entries = Given(&feed, "eintraege");
    if (!entries) return;
    const std::string& text = entries->text;
    const bool digits =
        !text.empty() && text.size() <= 4 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const size_t n = digits ? std::stoul(text) : 0;
    if (n < 1 || n > kMaxFeedEntries) {
      Problem(entries->line, ConfigError::kEntriesOutOfRange, text);
    } else {
      config->feed_entries = n;
    }
  }

  // Where a file goes: inside the folder, and on no file the program reads or keeps.
  std::optional<SiteConfig::Output> Output(const Section* section, const char* fallback) {
    if (!section) return std::nullopt;
    const Value* datei = Given(section, "datei");
    const size_t line = datei ? datei->line : section->line;
    const std::string name = datei ? datei->text : fallback;
    std::optional<std::string> file = ResolvePath(name);
    if (!file) {
      Problem(line, ConfigError::kFileOutside, name);
      return std::nullopt;
    }
    if (*file == "splicery.sic" || file->starts_with("splicery.sic/")) {
      Problem(line, ConfigError::kFileInBackupFolder, name);
      return std::nullopt;
    }
    for (const char* own : {kTargetListFile, kIncludeSourceFile, kSiteConfigFile}) {
      if (*file == own) {
        Problem(line, ConfigError::kFileIsConfiguration, own);
        return std::nullopt;
      }
    }
    for (size_t i = 0; i < pages_.size(); ++i) {
      if (ResolvePath(pages_[i]) == file) {
        Problem(line, ConfigError::kFileIsPage, *file, {}, i + 1);
        return std::nullopt;
      }
    }
    return SiteConfig::Output{*file, line};
  }

  // Blank-separated words.
  static std::vector<std::string> Words(std::string_view rest) {
    std::vector<std::string> words;
    while (!(rest = Trim(rest)).empty()) {
      size_t end = 0;
      while (end < rest.size() && !IsBlank(rest[end])) ++end;
      words.emplace_back(rest.substr(0, end));
      rest.remove_prefix(end);
    }
    return words;
  }

  const std::vector<std::string>& pages_;
  std::vector<ConfigProblem>* problems_;
  Ini ini_;
  Section* current_ = nullptr;
};

}  // namespace

SiteConfig ParseSiteConfig(std::string_view bytes, const std::vector<std::string>& pages,
                           std::vector<ConfigProblem>* problems) {
  return Parser(pages, problems).Parse(bytes);
}

Status ReadSiteConfigFile(FileSystem& fs, std::optional<std::string>* bytes) {
  bytes->reset();
  std::string read_bytes;
  Status read = ReadConfiguration(fs, kSiteConfigFile, &read_bytes);
  if (read.code() == Code::kNotFound) return {};  // optional: a site without it is as before
  if (read) *bytes = std::move(read_bytes);
  return read;
}

Status CheckSiteConfig(std::string_view bytes, const std::vector<std::string>& pages,
                       std::optional<SiteConfig>* config) {
  config->reset();
  std::vector<ConfigProblem> problems;
  SiteConfig parsed = ParseSiteConfig(bytes, pages, &problems);
  if (!problems.empty()) {
    return Status::Described(Code::kConfigProblem,
                             std::string(kSiteConfigFile) + ":" + std::to_string(problems[0].line),
                             DescribeConfigProblem(problems[0]));
  }
  *config = std::move(parsed);
  return {};
}

std::string DescribeConfigProblem(const ConfigProblem& p) {
  switch (p.error) {
    case ConfigError::kNotUtf8:
      return msg::IniNotUtf8();
    case ConfigError::kBadLine:
      return msg::IniBadLine();
    case ConfigError::kBadSection:
      return msg::IniBadSection();
    case ConfigError::kKeyOutsideSection:
      return msg::IniKeyOutsideSection(p.subject);
    case ConfigError::kDuplicateKey:
      return msg::IniDuplicateKey(p.subject, p.other_line);
    case ConfigError::kUnknownSection:
      return msg::IniUnknownSection(p.subject);
    case ConfigError::kUnknownKey:
      return msg::IniUnknownKey(p.subject, p.other);
    case ConfigError::kAddressMissing:
      return msg::IniAddressMissing(p.subject);
    case ConfigError::kAddressMalformed:
      return msg::IniAddressMalformed(p.subject);
    case ConfigError::kKeyMissing:
      return msg::IniFeedNeedsKey(p.subject);
    case ConfigError::kEntriesOutOfRange:
      return msg::IniEntriesOutOfRange(p.subject, kMaxFeedEntries);
    case ConfigError::kFileOutside:
      return msg::IniFileOutside(p.subject);
    case ConfigError::kFileInBackupFolder:
      return msg::IniFileInBackupFolder(p.subject);
    case ConfigError::kFileIsConfiguration:
      return msg::IniFileIsConfiguration(p.subject);
    case ConfigError::kFileIsPage:
      return msg::IniFileIsPage(p.subject, p.other_line);
    case ConfigError::kSameFile:
      return msg::IniSameFile(p.subject, p.other_line);
  }
  return {};
}

}  // namespace splicery
