// Fault-injecting file system double.
#include "support/fault_file_system.h"

namespace splicery::testing {

const char* OpName(Op op) {
  switch (op) {
    case Op::kProbe:
      return "probe";
    case Op::kIdentify:
      return "identify";
    case Op::kMakeDirectory:
      return "mkdir";
    case Op::kCopyNew:
      return "copy";
    case Op::kReadFile:
      return "read";
    case Op::kReplaceFile:
      return "replace";
    case Op::kProbeWrite:
      return "probe-write";
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

Status FaultFileSystem::CopyNew(const std::string& from, const std::string& to,
                                std::string* bytes) {
  if (int error = Fails(Op::kCopyNew, from)) return Status::FromErrno(error, from);
  return inner_.CopyNew(from, to, bytes);
}

Status FaultFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  if (int error = Fails(Op::kReadFile, path)) return Status::FromErrno(error, path);
  return inner_.ReadFile(path, bytes);
}

Status FaultFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
  if (int error = Fails(Op::kReplaceFile, path)) return Status::FromErrno(error, path);
  return inner_.ReplaceFile(path, bytes);
}

Status FaultFileSystem::ProbeWrite(const std::string& path, Intent intent) {
  if (int error = Fails(Op::kProbeWrite, path)) return Status::FromErrno(error, path);
  return inner_.ProbeWrite(path, intent);
}

}  // namespace splicery::testing
