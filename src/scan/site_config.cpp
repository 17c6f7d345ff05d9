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

}  // namespace

SiteConfig ParseSiteConfig(std::string_view bytes, const std::vector<std::string>& pages,
                           std::vector<ConfigProblem>* problems) {
  problems->clear();
  const auto problem = [&](size_t line, ConfigError error, std::string subject = {},
                           std::string other = {}, size_t other_line = 0) {
    problems->push_back({line, error, std::move(subject), std::move(other), other_line});
  };

  // Syntax: sections in the order met, a repeated header continuing its section.
  std::map<std::string, Section> sections;
  std::vector<std::string> order;
  Section* current = nullptr;
  const std::vector<std::string> lines = SplitTexts(StripBom(bytes));
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t number = i + 1;
    if (!IsValidUtf8(lines[i])) {
      problem(number, ConfigError::kNotUtf8);
      continue;
    }
    const std::string_view line = Trim(WithoutComment(lines[i]));
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::string_view name = line.size() >= 2 && line.back() == ']'
                                        ? Trim(line.substr(1, line.size() - 2))
                                        : std::string_view();
      if (name.empty()) {
        problem(number, ConfigError::kBadSection);
        current = nullptr;
        continue;
      }
      auto [it, added] = sections.try_emplace(std::string(name), Section{number, {}});
      if (added) order.push_back(it->first);
      current = &it->second;
      continue;
    }
    const size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? "" : Trim(line.substr(0, equals));
    if (key.empty()) {
      problem(number, ConfigError::kBadLine);
      continue;
    }
    if (!current) {
      problem(number, ConfigError::kKeyOutsideSection, std::string(key));
      continue;
    }
    auto [it, added] = current->keys.try_emplace(
        std::string(key), Value{std::string(Trim(line.substr(equals + 1))), number});
    if (!added) problem(number, ConfigError::kDuplicateKey, std::string(key), {}, it->second.line);
  }

  // Meaning.
  SiteConfig config;
  const auto find = [&](std::string_view section) -> Section* {
    auto it = sections.find(std::string(section));
    return it == sections.end() ? nullptr : &it->second;
  };
  for (const std::string& name : order) {
    const Section& section = sections[name];
    if (name != "site" && name != "feed" && name != "sitemap") {
      problem(section.line, ConfigError::kUnknownSection, name);
      continue;
    }
    for (const auto& [key, value] : section.keys) {
      const bool known = name == "site"   ? Known(kSiteKeys, key)
                         : name == "feed" ? Known(kFeedKeys, key)
                                          : Known(kSitemapKeys, key);
      if (!known) problem(value.line, ConfigError::kUnknownKey, key, name);
    }
  }
  // A key given without a value counts as missing where a value is required.
  const auto given = [](Section* section, const char* key) -> const Value* {
    if (!section) return nullptr;
    auto it = section->keys.find(key);
    return it == section->keys.end() ? nullptr : &it->second;
  };
  const auto value = [&](Section* section, const char* key) -> const Value* {
    const Value* found = given(section, key);
    return found && !found->text.empty() ? found : nullptr;
  };
  Section* site = find("site");
  Section* feed = find("feed");
  Section* sitemap = find("sitemap");

  if (const Value* address = value(site, "adresse")) {
    config.base = ParseBaseUrl(address->text);
    if (!config.base) problem(address->line, ConfigError::kAddressMalformed, address->text);
  } else {
    if (feed) problem(feed->line, ConfigError::kAddressMissing, "feed");
    if (sitemap) problem(sitemap->line, ConfigError::kAddressMissing, "sitemap");
  }
  if (const Value* title = value(site, "titel")) config.title = title->text;
  if (const Value* author = value(site, "autor")) config.author = author->text;
  if (feed) {
    if (config.title.empty()) problem(feed->line, ConfigError::kKeyMissing, "titel");
    if (config.author.empty()) problem(feed->line, ConfigError::kKeyMissing, "autor");
    if (const Value* entries = given(feed, "eintraege")) {
      const std::string& text = entries->text;
      const bool digits =
          !text.empty() && text.size() <= 4 &&
          std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
      const size_t n = digits ? std::stoul(text) : 0;
      if (n < 1 || n > kMaxFeedEntries) {
        problem(entries->line, ConfigError::kEntriesOutOfRange, text);
      } else {
        config.feed_entries = n;
      }
    }
  }

  // Where the two files go: inside the folder, and on no file the program reads or keeps.
  std::map<std::string, size_t> listed;  // resolved page path -> its line in include.txt
  for (size_t i = 0; i < pages.size(); ++i) {
    if (std::optional<std::string> page = ResolvePath(pages[i])) listed.try_emplace(*page, i + 1);
  }
  const auto output = [&](Section* section,
                          const char* fallback) -> std::optional<SiteConfig::Output> {
    if (!section) return std::nullopt;
    const Value* datei = given(section, "datei");
    const size_t line = datei ? datei->line : section->line;
    const std::string name = datei ? datei->text : fallback;
    std::optional<std::string> file = ResolvePath(name);
    if (!file) {
      problem(line, ConfigError::kFileOutside, name);
      return std::nullopt;
    }
    if (*file == "splicery.sic" || file->starts_with("splicery.sic/")) {
      problem(line, ConfigError::kFileInBackupFolder, name);
      return std::nullopt;
    }
    for (const char* own : {kTargetListFile, kIncludeSourceFile, kSiteConfigFile}) {
      if (*file == own) {
        problem(line, ConfigError::kFileIsConfiguration, own);
        return std::nullopt;
      }
    }
    if (auto page = listed.find(*file); page != listed.end()) {
      problem(line, ConfigError::kFileIsPage, page->first, {}, page->second);
      return std::nullopt;
    }
    return SiteConfig::Output{*file, line};
  };
  config.feed = output(feed, "atom.xml");
  config.sitemap = output(sitemap, "sitemap.xml");
  if (config.feed && config.sitemap && config.feed->file == config.sitemap->file) {
    problem(config.sitemap->line, ConfigError::kSameFile, config.sitemap->file, {},
            config.feed->line);
  }
  if (const Value* omit = value(sitemap, "auslassen")) {
    std::string_view rest = omit->text;
    while (!(rest = Trim(rest)).empty()) {
      size_t end = 0;
      while (end < rest.size() && !IsBlank(rest[end])) ++end;
      config.omit.emplace_back(rest.substr(0, end));
      rest.remove_prefix(end);
    }
  }
  std::stable_sort(problems->begin(), problems->end(),
                   [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
  return config;
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
