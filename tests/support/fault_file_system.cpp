// SPDX-License-Identifier: GPL-3.0-or-later
// Fault-injecting file system double.
#include "support/fault_file_system.h"

namespace splicery::testing {

const char* OpName(Op op) {
  switch (op) {
    case Op::kProbe:
      return "probe";
    case Op::kMakeDirectory:
      return "mkdir";
    case Op::kReadFile:
      return "read";
    case Op::kReadPage:
      return "read page";
    case Op::kCreateFile:
      return "create";
    case Op::kWriteTemp:
      return "write temp";
    case Op::kFlush:
      return "flush";
    case Op::kPutInPlace:
      return "put in place";
    case Op::kWriteInPlace:
      return "write in place";
    case Op::kRemoveFile:
      return "remove";
    case Op::kLockFolder:
      return "lock";
    case Op::kIdentify:
      return "identify";
    case Op::kProbeWrite:
      return "probe write";
    case Op::kAppendFile:
      return "append";
    case Op::kListFolder:
      return "list";
    case Op::kDescribe:
      return "describe";
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
  const size_t on_path = path_counts_[{op, path}]++;
  if (auto it = fail_path_calls_.find({op, path, on_path}); it != fail_path_calls_.end()) {
    return it->second;
  }
  return 0;
}

// A failed put keeps its promise to remove the temporary file.
Status FaultFileSystem::PutInPlace(const std::string& temp, const FileInfo& info) {
  if (int error = Fails(Op::kPutInPlace, info.path)) {
    (void)inner_.RemoveFile(temp);
    return Status::FromErrno(error, info.path);
  }
  return inner_.PutInPlace(temp, info);
}

}  // namespace splicery::testing
