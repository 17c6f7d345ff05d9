// Fault-injecting file system double.
#include "support/fault_file_system.h"

namespace splicery::testing {

const char* OpName(Op op) {
  switch (op) {
    case Op::kProbe:
      return "probe";
    case Op::kMakeDirectory:
      return "mkdir";
    case Op::kCopyNew:
      return "copy";
    case Op::kReadFile:
      return "read";
    case Op::kReplaceFile:
      return "replace";
  }
  return "?";
}

size_t FaultFileSystem::Calls(Op op) const {
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : it->second;
}

bool FaultFileSystem::Fails(Op op, const std::string& path) {
  size_t nth = counts_[op]++;
  log_.emplace_back(op, path);
  return fail_calls_.count({op, nth}) > 0 || fail_paths_.count({op, path}) > 0;
}

Probe FaultFileSystem::ProbeFile(const std::string& path) {
  return Fails(Op::kProbe, path) ? Probe::kError : inner_.ProbeFile(path);
}

bool FaultFileSystem::MakeDirectory(const std::string& path) {
  return !Fails(Op::kMakeDirectory, path) && inner_.MakeDirectory(path);
}

bool FaultFileSystem::CopyNew(const std::string& from, const std::string& to,
                              std::string* bytes) {
  return !Fails(Op::kCopyNew, from) && inner_.CopyNew(from, to, bytes);
}

bool FaultFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  return !Fails(Op::kReadFile, path) && inner_.ReadFile(path, bytes);
}

bool FaultFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
  return !Fails(Op::kReplaceFile, path) && inner_.ReplaceFile(path, bytes);
}

}  // namespace splicery::testing
