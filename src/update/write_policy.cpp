// SPDX-License-Identifier: GPL-3.0-or-later
// The write policy.
#include "update/write_policy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

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

WriteWay DecideWrite(const WriteFacts& f) {
  if (!MayWrite(f)) return WriteWay::kRefuse;
  if (f.links > 1) return WriteWay::kInPlace;
  // A new file belongs to the user, in the folder's group where the folder is set-group-ID.
  const uint32_t new_group = f.folder_setgid ? f.folder_group : f.groups.empty() ? 0 : f.groups[0];
  if (f.owner == f.user && f.group == new_group) return WriteWay::kRename;
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

}  // namespace splicery
