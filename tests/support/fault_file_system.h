// Test double for the file layer: passes calls on to a real file system, records them, and
// fails the calls it is told to fail.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace splicery::testing {

enum class Op { kProbe, kMakeDirectory, kCopyNew, kReadFile, kReplaceFile };
const char* OpName(Op op);

class FaultFileSystem : public FileSystem {
 public:
  explicit FaultFileSystem(FileSystem& inner) : inner_(inner) {}

  // The call with this 0-based number among the calls of kind `op` fails.
  void FailCall(Op op, size_t nth) { fail_calls_.insert({op, nth}); }
  // Every call of kind `op` on `path` fails.
  void FailPath(Op op, std::string path) { fail_paths_.insert({op, std::move(path)}); }

  size_t Calls(Op op) const;
  const std::vector<std::pair<Op, std::string>>& log() const { return log_; }

  Probe ProbeFile(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool CopyNew(const std::string& from, const std::string& to, std::string* bytes) override;
  bool ReadFile(const std::string& path, std::string* bytes) override;
  bool ReplaceFile(const std::string& path, std::string_view bytes) override;

 private:
  bool Fails(Op op, const std::string& path);

  FileSystem& inner_;
  std::set<std::pair<Op, size_t>> fail_calls_;
  std::set<std::pair<Op, std::string>> fail_paths_;
  std::map<Op, size_t> counts_;
  std::vector<std::pair<Op, std::string>> log_;
};

}  // namespace splicery::testing
