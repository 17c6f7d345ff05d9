// SPDX-License-Identifier: GPL-3.0-or-later
// Fault-injecting file system double.
#include "support/fault_file_system.h"

namespace splicery::testing {

const char* OpName(Op op) {
  switch (op) {
    case Op::kProbe: return "probe";
    case Op::kMakeDirectory: return "mkdir";
    case Op::kReadFile: return "read";
    case Op::kReadPage: return "read page";
    case Op::kCreateFile: return "create";
    case Op::kWriteTemp: return "write temp";
    case Op::kFlush: return "flush";
    case Op::kPutInPlace: return "put in place";
    case Op::kWriteInPlace: return "write in place";
    case Op::kRemoveFile: return "remove";
    case Op::kLockFolder: return "lock";
    case Op::kIdentify: return "identify";
    case Op::kProbeWrite: return "probe write";
    case Op::kAppendFile: return "append";
    case Op::kListFolder: return "list";
  }
  return "?";
}

size_t FaultFileSystem::Calls(Op op) const {
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : it->second;
}

int FaultFileSystem::Fails(Op op, const std::string& path) {
  const size_t nth = counts_[op]++;
  log_.emplace_back(op, path);
  if (auto it = fail_calls_.find({op, nth}); it != fail_calls_.end()) return it->second;
  if (auto it = fail_paths_.find({op, path}); it != fail_paths_.end()) return it->second;
  return 0;
}

Status FaultFileSystem::ProbeFile(const std::string& path, Probe* found) {
  *found = Probe::kAbsent;
  if (int error = Fails(Op::kProbe, path)) return Status::FromErrno(error, path);
  return inner_.ProbeFile(path, found);
}

Status FaultFileSystem::Identify(const std::string& path, FileId* id) {
  if (int error = Fails(Op::kIdentify, path)) return Status::FromErrno(error, path);
  return inner_.Identify(path, id);
}

Status FaultFileSystem::MakeDirectory(const std::string& path) {
  if (int error = Fails(Op::kMakeDirectory, path)) return Status::FromErrno(error, path);
  return inner_.MakeDirectory(path);
}

Status FaultFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  if (int error = Fails(Op::kReadFile, path)) return Status::FromErrno(error, path);
  return inner_.ReadFile(path, bytes);
}

Status FaultFileSystem::ReadPage(const std::string& path, std::string* bytes, FileInfo* info) {
  if (int error = Fails(Op::kReadPage, path)) return Status::FromErrno(error, path);
  return inner_.ReadPage(path, bytes, info);
}

Status FaultFileSystem::CreateFile(const std::string& path, std::string_view bytes,
                                   uint32_t mode) {
  if (int error = Fails(Op::kCreateFile, path)) return Status::FromErrno(error, path);
  return inner_.CreateFile(path, bytes, mode);
}

Status FaultFileSystem::WriteTemp(const FileInfo& info, std::string_view bytes,
                                  std::string* temp) {
  temp->clear();
  if (int error = Fails(Op::kWriteTemp, info.path)) return Status::FromErrno(error, info.path);
  return inner_.WriteTemp(info, bytes, temp);
}

Status FaultFileSystem::Flush() {
  if (int error = Fails(Op::kFlush, ".")) return Status::FromErrno(error, ".");
  return inner_.Flush();
}

// A failed put keeps its promise to remove the temporary file.
Status FaultFileSystem::PutInPlace(const std::string& temp, const FileInfo& info) {
  if (int error = Fails(Op::kPutInPlace, info.path)) {
    (void)inner_.RemoveFile(temp);
    return Status::FromErrno(error, info.path);
  }
  return inner_.PutInPlace(temp, info);
}

Status FaultFileSystem::WriteInPlace(const FileInfo& info, std::string_view bytes) {
  if (int error = Fails(Op::kWriteInPlace, info.path)) return Status::FromErrno(error, info.path);
  return inner_.WriteInPlace(info, bytes);
}

Status FaultFileSystem::RemoveFile(const std::string& path) {
  if (int error = Fails(Op::kRemoveFile, path)) return Status::FromErrno(error, path);
  return inner_.RemoveFile(path);
}

Status FaultFileSystem::LockFolder(const std::string& folder,
                                   const std::function<void()>& on_wait) {
  if (int error = Fails(Op::kLockFolder, folder)) return Status::FromErrno(error, folder);
  return inner_.LockFolder(folder, on_wait);
}

Status FaultFileSystem::ProbeWrite(const std::string& path, Intent intent) {
  if (int error = Fails(Op::kProbeWrite, path)) return Status::FromErrno(error, path);
  return inner_.ProbeWrite(path, intent);
}

Status FaultFileSystem::AppendFile(const std::string& path, std::string_view bytes) {
  if (int error = Fails(Op::kAppendFile, path)) return Status::FromErrno(error, path);
  return inner_.AppendFile(path, bytes);
}

Status FaultFileSystem::ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  if (int error = Fails(Op::kListFolder, folder)) return Status::FromErrno(error, folder);
  return inner_.ListFolder(folder, entries);
}

}  // namespace splicery::testing
