// SPDX-License-Identifier: GPL-3.0-or-later
// Backup names and the search for the lowest free one.
#include "update/backup_name.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace splicery {
namespace {

// Whether the folder parts of `page`, taken below the backup folder with their ".." parts
// resolved as written, ever climb above it. The last part gets ". N.htm" and is never "..".
bool LeavesBackupFolder(std::string_view page) {
  size_t depth = 0;
  for (size_t slash; (slash = page.find('/')) != std::string_view::npos;) {
    const std::string_view part = page.substr(0, slash);
    page.remove_prefix(slash + 1);
    if (part == "..") {
      if (depth == 0) return true;
      --depth;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
  }
  return false;
}

// Whether every folder part of `page` is "." or empty, so that its backup lies in the backup
// folder itself once that exists.
bool DirectlyInBackupFolder(std::string_view page) {
  for (size_t slash; (slash = page.find('/')) != std::string_view::npos;) {
    const std::string_view part = page.substr(0, slash);
    if (!part.empty() && part != ".") return false;
    page.remove_prefix(slash + 1);
  }
  return true;
}

}  // namespace

std::optional<std::string> BackupName(std::string_view page, size_t number) {
  if (LeavesBackupFolder(page)) return std::nullopt;
  std::string name = kBackupFolder;
  name += '/';
  name += page;
  name += ". ";
  name += std::to_string(number);
  name += ".htm";
  return name;
}

uint64_t BackupNumber(std::string_view page, std::string_view file) {
  const std::string prefix = std::string(kBackupFolder) + "/" + std::string(page) + ". ";
  if (!file.starts_with(prefix) || !file.ends_with(".htm")) return 0;
  const std::string_view digits = file.substr(prefix.size(), file.size() - prefix.size() - 4);
  if (digits.empty() || digits[0] == '0') return 0;
  uint64_t number = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

Status FindFreeBackupName(FileSystem& fs, std::string_view page, std::string* name) {
  for (size_t number = 1;; ++number) {
    std::optional<std::string> candidate = BackupName(page, number);
    if (!candidate) {
      return Status::Failure(Code::kBackupOutside, std::string(page));
    }
    Probe found;
    if (Status probed = fs.ProbeFile(*candidate, &found); !probed) return probed;
    if (found == Probe::kAbsent) {
      *name = std::move(*candidate);
      return {};
    }
  }
}

BackupNames::Listing& BackupNames::ListingOf(const std::string& folder) {
  auto [spelt, first] = spellings_.try_emplace(folder, &unlisted_);
  if (!first) return *spelt->second;
  FileId id;
  if (Status found = fs_.Identify(folder, &id); !found) {
    if (found.code() != Code::kNotFound) return unlisted_;
    // A missing folder holds no name yet; those given out are remembered all the same.
    Listing& missing = missing_[folder];
    if (!missing) missing.emplace();
    spelt->second = &missing;
    return missing;
  }
  auto [it, inserted] = folders_.try_emplace(id.key);
  spelt->second = &it->second;
  if (!inserted) return it->second;
  std::vector<FolderEntry> entries;
  if (!fs_.ListNames(folder, &entries)) return it->second;
  it->second.emplace();
  for (FolderEntry& entry : entries) it->second->emplace(std::move(entry.name), entry.regular);
  return it->second;
}

Status BackupNames::Find(std::string_view page, std::string* name) {
  for (size_t number = 1;; ++number) {
    std::optional<std::string> candidate = BackupName(page, number);
    if (!candidate) return Status::Failure(Code::kBackupOutside, std::string(page));
    const size_t slash = candidate->rfind('/');
    Listing& listing = ListingOf(candidate->substr(0, slash));
    std::string base = candidate->substr(slash + 1);
    bool test = true;
    bool* listed = nullptr;  // the name's entry in the listing: whether it is a regular file
    if (listing) {
      const auto [it, unlisted] = listing->try_emplace(std::move(base), false);
      if (!unlisted && it->second) continue;  // a regular file
      test = !unlisted;
      listed = &it->second;
    }
    Probe found = Probe::kAbsent;
    if (test) {
      if (Status probed = fs_.ProbeFile(*candidate, &found); !probed) return probed;
    }
    if (found == Probe::kAbsent) {
      untested_ = !test;
      if (listed) *listed = true;
      *name = std::move(*candidate);
      return {};
    }
  }
}

// The run creates a missing backup folder first: a backup right in it is then probed by its
// name in the site folder, where the folder would be made (a backup further down finds no
// folder, as in the run).
Status ProbeBackupCopy(FileSystem& fs, const std::string& backup) {
  Status probed = fs.ProbeWrite(backup, Intent::kCopyNew);
  const std::string_view below = std::string_view(backup).substr(std::strlen(kBackupFolder) + 1);
  if (probed.error() != ENOENT || !DirectlyInBackupFolder(below)) return probed;
  // Only whether a file could be made there counts; what has that name in the site does not.
  Status in_site = fs.ProbeWrite(backup.substr(backup.rfind('/') + 1), Intent::kCopyNew);
  if (in_site || in_site.code() == Code::kExists) return {};
  if (in_site.error() == ENAMETOOLONG) return Status::FromErrno(ENAMETOOLONG, backup);
  return Status::FromErrno(in_site.error(), kBackupFolder);  // the folder could not be made
}

Status ProbeBackup(FileSystem& fs, std::string_view page) {
  std::string name;
  Status found = FindFreeBackupName(fs, page, &name);
  return found ? ProbeBackupCopy(fs, name) : found;
}

}  // namespace splicery
