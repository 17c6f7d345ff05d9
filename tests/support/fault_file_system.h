// SPDX-License-Identifier: GPL-3.0-or-later
// Test double for the file layer: passes calls on to a real file system, records them, and
// fails the calls it is told to fail.
#pragma once

#include <cerrno>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace splicery::testing {

enum class Op {
  kProbe, kMakeDirectory, kReadFile, kReadPage, kCreateFile, kWriteTemp, kFlush, kPutInPlace,
  kWriteInPlace, kRemoveFile, kLockFolder, kIdentify, kProbeWrite, kAppendFile, kListFolder
};
inline constexpr Op kAllOps[] = {Op::kProbe,      Op::kMakeDirectory, Op::kReadFile,
                                 Op::kReadPage,   Op::kCreateFile,    Op::kWriteTemp,
                                 Op::kFlush,      Op::kPutInPlace,    Op::kWriteInPlace,
                                 Op::kRemoveFile, Op::kLockFolder,   Op::kIdentify,
                                 Op::kProbeWrite, Op::kAppendFile,   Op::kListFolder};
const char* OpName(Op op);

class FaultFileSystem : public FileSystem {
 public:
  explicit FaultFileSystem(FileSystem& inner) : inner_(inner) {}

  // The call with this 0-based number among the calls of kind `op` fails with `error`.
  void FailCall(Op op, size_t nth, int error = EIO) { fail_calls_[{op, nth}] = error; }
  // Every call of kind `op` on `path` fails with `error`.
  void FailPath(Op op, std::string path, int error = EIO) {
    fail_paths_[{op, std::move(path)}] = error;
  }

  size_t Calls(Op op) const;
  const std::vector<std::pair<Op, std::string>>& log() const { return log_; }

  Status ProbeFile(const std::string& path, Probe* found) override;
  Status Identify(const std::string& path, FileId* id) override;
  Status MakeDirectory(const std::string& path) override;
  Status ReadFile(const std::string& path, std::string* bytes) override;
  Status ReadPage(const std::string& path, std::string* bytes, FileInfo* info) override;
  Status CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) override;
  Status WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) override;
  Status Flush() override;
  Status PutInPlace(const std::string& temp, const FileInfo& info) override;
  Status WriteInPlace(const FileInfo& info, std::string_view bytes) override;
  Status RemoveFile(const std::string& path) override;
  Status LockFolder(const std::string& folder, const std::function<void()>& on_wait) override;
  void UnlockFolder() override { inner_.UnlockFolder(); }
  void RemoveLeftovers(const std::string& folder) override { inner_.RemoveLeftovers(folder); }
  Status ProbeWrite(const std::string& path, Intent intent) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override;

 private:
  // The errno this call is to fail with, or 0.
  int Fails(Op op, const std::string& path);

  FileSystem& inner_;
  std::map<std::pair<Op, size_t>, int> fail_calls_;
  std::map<std::pair<Op, std::string>, int> fail_paths_;
  std::map<Op, size_t> counts_;
  std::vector<std::pair<Op, std::string>> log_;
};

}  // namespace splicery::testing
