// SPDX-License-Identifier: GPL-3.0-or-later
// splicery.ini, the optional file that switches on the feed and the sitemap: its syntax, its
// keys and everything that makes it unusable, each problem with the line it stands on.
//
//   [section]            key = value          # a comment (at the start or after a blank)
//
// UTF-8 with an optional byte-order mark; blanks around keys and values are trimmed; ";" is an
// ordinary character; a key given twice in a section is an error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "text/web_text.h"

namespace splicery {

inline constexpr const char* kSiteConfigFile = "splicery.ini";

enum class ConfigError {
  // Syntax
  kNotUtf8,            // the line is no valid UTF-8
  kBadLine,            // neither a section, a key = value nor a comment
  kBadSection,         // "[" without a closing "]", or an empty name
  kKeyOutsideSection,  // subject: the key
  kDuplicateKey,       // subject: the key; other_line: where it was first given
  // Meaning
  kUnknownSection,       // subject: the section
  kUnknownKey,           // subject: the key; other: its section
  kAddressMissing,       // at the section that needs it; subject: that section
  kAddressMalformed,     // subject: the value
  kKeyMissing,           // at [feed]; subject: the key (titel, autor)
  kEntriesOutOfRange,    // subject: the value
  kFileOutside,          // subject: the datei value
  kFileInBackupFolder,   // subject: the datei value
  kFileIsConfiguration,  // subject: the file it names
  kFileIsPage,           // subject: the page; other_line: its line in include.txt
  kSameFile,             // subject: the file; other_line: the other datei's line
};

struct ConfigProblem {
  size_t line = 0;  // 1-based line of splicery.ini
  ConfigError error = ConfigError::kBadLine;
  std::string subject, other;
  size_t other_line = 0;

  bool operator==(const ConfigProblem&) const = default;
};

struct SiteConfig {
  struct Output {
    std::string file;  // resolved path in the site folder
    size_t line = 0;   // the line of its section
  };
  std::optional<BaseUrl> base;
  std::string title, author;
  std::optional<Output> feed;
  size_t feed_entries = 20;
  std::optional<Output> sitemap;
  std::vector<std::string> omit;  // the sitemap's auslassen patterns
};

inline constexpr size_t kMaxFeedEntries = 1000;

// Reads splicery.ini's bytes; `pages` are include.txt's lines, which no datei may name. Every
// problem is listed, by line; the configuration is usable only when there is none.
SiteConfig ParseSiteConfig(std::string_view bytes, const std::vector<std::string>& pages,
                           std::vector<ConfigProblem>* problems);

// Reads splicery.ini into *bytes. Without the file: ok, and *bytes stays empty.
Status ReadSiteConfigFile(FileSystem& fs, std::optional<std::string>* bytes);

// Checks splicery.ini's bytes: ok with the configuration, or a failure "splicery.ini:N" with the
// first problem's reason.
Status CheckSiteConfig(std::string_view bytes, const std::vector<std::string>& pages,
                       std::optional<SiteConfig>* config);

// The reason line for a problem, in German (without the "splicery.ini:N: " in front).
std::string DescribeConfigProblem(const ConfigProblem& problem);

}  // namespace splicery
