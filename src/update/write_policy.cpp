// SPDX-License-Identifier: GPL-3.0-or-later
// The write policy.
#include "update/write_policy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "update/journal.h"

namespace splicery {
namespace {

bool InGroup(const WriteFacts& f, uint32_t group) {
  return std::find(f.groups.begin(), f.groups.end(), group) != f.groups.end();
}

// By the permission bits alone: root passes every access check, but a page without any write
// bit is meant to stay as it is.
bool MayWrite(const WriteFacts& f) {
  if (f.root) return (f.mode & 0222) != 0;
  if (f.owner == f.user) return (f.mode & S_IWUSR) != 0;
  if (InGroup(f, f.group)) return (f.mode & S_IWGRP) != 0;
  return (f.mode & S_IWOTH) != 0;
}

}  // namespace

bool CarriedAttribute(std::string_view name) {
  return name == "system.posix_acl_access" || name == "system.posix_acl_default" ||
         name.starts_with("user.") || name.starts_with("security.");
}

WriteWay DecideWrite(const WriteFacts& f) {
  if (!MayWrite(f)) return WriteWay::kRefuse;
  if (f.links > 1) return WriteWay::kInPlace;
  // A new file belongs to the user, in the folder's group where the folder is set-group-ID.
  const uint32_t new_group = f.folder_setgid ? f.folder_group : f.groups.empty() ? 0 : f.groups[0];
  // Whether the new file may take the page's attributes depends on the file system and the
  // security module; only the attempt tells.
  const bool attributes =
      std::any_of(f.attributes.begin(), f.attributes.end(),
                  [](const std::string& name) { return CarriedAttribute(name); });
  if (f.owner == f.user && f.group == new_group) {
    return attributes ? WriteWay::kRenameElseInPlace : WriteWay::kRename;
  }
  // Only root can give a file away; a user can choose among their own groups.
  if (f.root || (f.owner == f.user && InGroup(f, f.group))) return WriteWay::kRenameElseInPlace;
  return WriteWay::kInPlace;
}

Status ProbeReplace(FileSystem& fs, const std::string& page) {
  FileInfo info;
  if (Status described = fs.Describe(page, &info); !described) return described;
  switch (DecideWrite(info.facts)) {
    case WriteWay::kRefuse:
      return Status::FromErrno(EACCES, page);
    case WriteWay::kInPlace:
      return {};
    case WriteWay::kRename:
    case WriteWay::kRenameElseInPlace:
      break;
  }
  return fs.ProbeWrite(info.path, Intent::kTempBeside).About(page);
}

Status ProbeJournal(FileSystem& fs) {
  Status probed = fs.ProbeWrite(kJournalFile, Intent::kAppend);
  Probe found = Probe::kAbsent;
  if (probed) probed = fs.ProbeFile(kJournalFile, &found);
  if (!probed || found == Probe::kAbsent) return probed;
  std::string bytes;
  Status read = fs.ReadFile(kJournalFile, &bytes);
  return read ? CheckJournal(bytes) : read;
}

}  // namespace splicery
