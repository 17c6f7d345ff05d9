// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch site folders for tests.
#include "support/temp_site.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace splicery::testing {

TempSite::TempSite(const Files& files) {
  old_cwd_ = fs::current_path().string();
  std::string templ = (fs::temp_directory_path() / "splicery-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
  fs::current_path(dir_);
  for (const auto& [path, bytes] : files) Write(path, bytes);
}

TempSite::~TempSite() {
  std::error_code ec;
  fs::current_path(old_cwd_, ec);
  // Leave nothing behind, not even folders a test made read-only.
  for (auto& entry : fs::recursive_directory_iterator(dir_, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(dir_, ec);
}

void TempSite::Write(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempSite::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool TempSite::Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> TempSite::ListFiles() const {
  std::vector<std::string> out;
  for (auto& entry : fs::recursive_directory_iterator(dir_)) {
    if (!entry.is_directory()) out.push_back(fs::relative(entry.path(), dir_).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

Files TempSite::Snapshot() const {
  Files files;
  for (const std::string& path : ListFiles()) files[path] = Read(dir_ + "/" + path);
  return files;
}

}  // namespace splicery::testing
