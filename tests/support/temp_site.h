// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch folder built from a {path: bytes} table; the test runs inside it (the core works
// on relative paths) and it is removed afterwards.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace splicery::testing {

using Files = std::map<std::string, std::string>;

class TempSite {
 public:
  explicit TempSite(const Files& files = {});
  TempSite(std::initializer_list<Files::value_type> files) : TempSite(Files(files)) {}
  ~TempSite();
  TempSite(const TempSite&) = delete;
  TempSite& operator=(const TempSite&) = delete;

  const std::string& dir() const { return dir_; }
  // Paths relative to the site.
  static void Write(const std::string& path, const std::string& bytes);
  static std::string Read(const std::string& path);
  static bool Exists(const std::string& path);
  // Every file below the site (relative paths, sorted), folders left out.
  std::vector<std::string> ListFiles() const;
  // Path and bytes of every file below the site.
  Files Snapshot() const;

 private:
  std::string dir_;
  std::string old_cwd_;
};

}  // namespace splicery::testing
