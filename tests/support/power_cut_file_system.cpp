// SPDX-License-Identifier: GPL-3.0-or-later
// In-memory disk with power cuts.
#include "support/power_cut_file_system.h"

#include <algorithm>
#include <cerrno>
#include <functional>

#include "files/posix_file_system.h"

namespace splicery::testing {
namespace {

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

PowerCutFileSystem::PowerCutFileSystem(const Files& files) {
  folders_.insert(".");
  for (const auto& [path, bytes] : files) {
    for (std::string dir = Parent(path); dir != "."; dir = Parent(dir)) folders_.insert(dir);
    names_[path] = NewInode(bytes);
  }
  Flush();
  operations_ = 0;
}

void PowerCutFileSystem::HardLink(const std::string& existing, const std::string& name) {
  names_[name] = durable_names_[name] = names_.at(existing);
}

void PowerCutFileSystem::CutAfter(size_t operations, Loss loss) {
  cut_at_ = operations_ + operations;
  loss_ = loss;
}

bool PowerCutFileSystem::PowerOn() {
  if (cut_) return false;
  if (operations_++ != cut_at_) return true;
  cut_ = true;
  // The first call after the cut point finds the power gone; the disk is what survived.
  if (loss_ == Loss::kUnflushed) {
    for (const auto& [name, id] : durable_names_) after_cut_[name] = inodes_[id].durable;
    after_cut_ids_ = durable_names_;
    return false;
  }
  after_cut_ids_ = names_;
  for (const auto& [name, id] : names_) {
    const Inode& inode = inodes_[id];
    std::string bytes = inode.created ? "" : inode.durable;
    if (inode.in_place) {
      const size_t half = inode.bytes.size() / 2;
      bytes = inode.bytes.substr(0, half) + (half < bytes.size() ? bytes.substr(half) : "");
    }
    after_cut_[name] = bytes;
  }
  return false;
}

Files PowerCutFileSystem::Disk() const {
  if (cut_) return after_cut_;
  Files files;
  for (const auto& [name, id] : names_) files[name] = inodes_[id].bytes;
  return files;
}

PowerCutFileSystem PowerCutFileSystem::Restart() const {
  const Files files = Disk();
  PowerCutFileSystem disk(files);
  std::map<size_t, std::string> first;  // each surviving file's first name
  for (const auto& [name, id] : cut_ ? after_cut_ids_ : names_) {
    if (!files.count(name)) continue;
    auto [it, inserted] = first.try_emplace(id, name);
    if (!inserted) disk.HardLink(it->second, name);
  }
  return disk;
}

size_t PowerCutFileSystem::NewInode(std::string_view bytes) {
  ++clock_;
  inodes_.push_back(Inode{std::string(bytes), "", true, false, clock_, clock_});
  return inodes_.size() - 1;
}

bool PowerCutFileSystem::FolderExists(const std::string& path) const {
  return folders_.count(Parent(path)) != 0;
}

Status PowerCutFileSystem::Check(const FileInfo& info) const {
  auto it = names_.find(info.path);
  if (it == names_.end()) return Status::FromErrno(ENOENT, info.path);
  const Inode& inode = inodes_[it->second];
  if (it->second != info.key.inode || inode.bytes.size() != info.size ||
      inode.mtime != info.mtime_ns) {
    return Status::Failure(Code::kChangedSinceRead, info.path);
  }
  return {};
}

Status PowerCutFileSystem::ProbeFile(const std::string& path, Probe* found) {
  *found = Probe::kAbsent;
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  if (names_.count(path)) *found = Probe::kFile;
  return {};
}

Status PowerCutFileSystem::Identify(const std::string& path, FileId* id) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  auto it = names_.find(path);
  if (it != names_.end()) {
    *id = {{1, it->second}, path};
    return {};
  }
  // A folder is known by its name alone here.
  if (!folders_.count(path)) return Status::FromErrno(ENOENT, path);
  *id = {{2, std::hash<std::string>{}(path)}, path};
  return {};
}

bool PowerCutFileSystem::SameFileOnDisk(const std::string& a, const std::string& b) const {
  const auto& names = cut_ && loss_ == Loss::kUnflushed ? durable_names_ : names_;
  auto x = names.find(a), y = names.find(b);
  return x != names.end() && y != names.end() && x->second == y->second;
}

Status PowerCutFileSystem::ProbeWrite(const std::string& path, Intent) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  return FolderExists(path) ? Status() : Status::FromErrno(ENOENT, path);
}

Status PowerCutFileSystem::AppendFile(const std::string& path, std::string_view bytes) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  if (!FolderExists(path)) return Status::FromErrno(ENOENT, path);
  auto it = names_.find(path);
  if (it == names_.end()) {
    names_[path] = NewInode(bytes);
    return {};
  }
  Inode& inode = inodes_[it->second];
  inode.bytes.append(bytes);
  inode.in_place = true;  // a cut may keep only part of what was appended
  inode.mtime = ++clock_;
  return {};
}

Status PowerCutFileSystem::ListFolder(const std::string& folder,
                                      std::vector<FolderEntry>* entries) {
  entries->clear();
  if (!PowerOn()) return Status::FromErrno(EIO, folder);
  if (!folders_.count(folder)) return Status::FromErrno(ENOENT, folder);
  for (const auto& [name, id] : names_) {
    if (Parent(name) != folder) continue;
    const std::string dir = Parent(name);
    const Inode& inode = inodes_[id];
    entries->push_back(
        {name.substr(dir == "." ? 0 : dir.size() + 1), true, inode.mtime, inode.ctime, {1, id}});
  }
  return {};
}

Status PowerCutFileSystem::MakeDirectory(const std::string& path) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  if (folders_.count(path) || names_.count(path)) return Status::FromErrno(EEXIST, path);
  if (!FolderExists(path)) return Status::FromErrno(ENOENT, path);
  folders_.insert(path);
  return {};
}

Status PowerCutFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  FileInfo info;
  return ReadPage(path, bytes, &info);
}

Status PowerCutFileSystem::ReadPage(const std::string& path, std::string* bytes, FileInfo* info) {
  Status described = Describe(path, info);
  if (described) *bytes = inodes_[names_.at(path)].bytes;
  return described;
}

// Every file is the user's own, in a folder of the user's group.
Status PowerCutFileSystem::Describe(const std::string& path, FileInfo* info) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  auto it = names_.find(path);
  if (it == names_.end()) return Status::FromErrno(ENOENT, path);
  const Inode& inode = inodes_[it->second];
  *info = FileInfo{};
  info->path = path;
  info->key = {1, it->second};
  info->size = inode.bytes.size();
  info->mtime_ns = inode.mtime;
  info->facts = {1000, 1000, 0644, 0, 1000, false, 1000, {1000}, false, {}};
  for (const auto& [name, id] : names_) info->facts.links += id == it->second;
  return {};
}

Status PowerCutFileSystem::CreateFile(const std::string& path, std::string_view bytes, uint32_t) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  if (names_.count(path) || folders_.count(path)) return Status::FromErrno(EEXIST, path);
  if (!FolderExists(path)) return Status::FromErrno(ENOENT, path);
  names_[path] = NewInode(bytes);
  return {};
}

Status PowerCutFileSystem::WriteTemp(const FileInfo& info, std::string_view bytes,
                                     std::string* temp) {
  temp->clear();
  if (!PowerOn()) return Status::FromErrno(EIO, info.path);
  const std::string dir = Parent(info.path);
  const std::string base = info.path.substr(dir == "." ? 0 : dir.size() + 1);
  *temp = (dir == "." ? "" : dir + "/") + "." + base + std::string(kTempMarker) + "1-" +
          std::to_string(temps_++);
  names_[*temp] = NewInode(bytes);
  return {};
}

Status PowerCutFileSystem::LinkFile(const FileInfo& info, const std::string& name) {
  if (!PowerOn()) return Status::FromErrno(EIO, name);
  if (names_.count(name) || folders_.count(name)) return Status::FromErrno(EEXIST, name);
  if (!FolderExists(name)) return Status::FromErrno(ENOENT, name);
  if (Status checked = Check(info); !checked) return checked.About(name);
  names_[name] = names_.at(info.path);
  inodes_[names_[name]].ctime = ++clock_;
  return {};
}

Status PowerCutFileSystem::Flush() {
  if (!PowerOn()) return Status::FromErrno(EIO, ".");
  for (Inode& inode : inodes_) {
    inode.durable = inode.bytes;
    inode.created = inode.in_place = false;
  }
  durable_names_ = names_;
  durable_folders_ = folders_;
  return {};
}

Status PowerCutFileSystem::PutInPlace(const std::string& temp, const FileInfo& info) {
  if (!PowerOn()) return Status::FromErrno(EIO, info.path);
  Status checked = Check(info);
  if (checked) names_[info.path] = names_.at(temp);
  names_.erase(temp);
  return checked;
}

Status PowerCutFileSystem::WriteInPlace(const FileInfo& info, std::string_view bytes) {
  if (!PowerOn()) return Status::FromErrno(EIO, info.path);
  if (Status checked = Check(info); !checked) return checked;
  Inode& inode = inodes_[names_.at(info.path)];
  inode.bytes = bytes;
  inode.in_place = true;
  inode.mtime = ++clock_;
  return {};
}

Status PowerCutFileSystem::RemoveFile(const std::string& path) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  return names_.erase(path) ? Status() : Status::FromErrno(ENOENT, path);
}

Status PowerCutFileSystem::LockFolder(const std::string& folder, const std::function<void()>&) {
  return PowerOn() ? Status() : Status::FromErrno(EIO, folder);
}

void PowerCutFileSystem::RemoveLeftovers(const std::string& folder) {
  if (!PowerOn()) return;
  std::erase_if(names_, [&](const auto& entry) {
    const std::string& name = entry.first;
    return Parent(name) == folder && IsTempName(name.substr(name.rfind('/') + 1));
  });
}

Status PowerCutFileSystem::ReadPart(const std::string& path, uint64_t offset, size_t size,
                                    std::string* bytes, uint64_t* file_size) {
  bytes->clear();
  FileInfo info;
  Status described = Describe(path, &info);
  if (!described) return described;
  const std::string& all = inodes_[names_.at(path)].bytes;
  *file_size = all.size();
  if (offset < all.size()) *bytes = all.substr(offset, size);
  return {};
}

Status PowerCutFileSystem::Resolve(const std::string& path, std::string* real) {
  if (!PowerOn()) return Status::FromErrno(EIO, path);
  std::vector<std::string> parts;
  for (size_t from = 0; from <= path.size();) {
    const size_t slash = std::min(path.find('/', from), path.size());
    const std::string part = path.substr(from, slash - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  *real = path.starts_with('/') ? "" : "/site";
  for (const std::string& part : parts) *real += "/" + part;
  return {};
}

}  // namespace splicery::testing
