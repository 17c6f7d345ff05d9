// SPDX-License-Identifier: GPL-3.0-or-later
// Test double for the file layer: passes calls on to a real file system, records them, and
// fails the calls it is told to fail.
#pragma once

#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace splicery::testing {

enum class Op {
  kProbe,
  kMakeDirectory,
  kReadFile,
  kReadPage,
  kCreateFile,
  kWriteTemp,
  kFlush,
  kPutInPlace,
  kWriteInPlace,
  kRemoveFile,
  kLockFolder,
  kIdentify,
  kProbeWrite,
  kAppendFile,
  kListFolder,
  kDescribe,
  kLinkFile
};
inline constexpr Op kAllOps[] = {
    Op::kProbe,      Op::kMakeDirectory, Op::kReadFile,   Op::kReadPage,     Op::kCreateFile,
    Op::kWriteTemp,  Op::kFlush,         Op::kPutInPlace, Op::kWriteInPlace, Op::kRemoveFile,
    Op::kLockFolder, Op::kIdentify,      Op::kProbeWrite, Op::kAppendFile,   Op::kListFolder,
    Op::kDescribe,   Op::kLinkFile};
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
  // The call with this 0-based number among the calls of kind `op` on `path` fails.
  void FailPathCall(Op op, std::string path, size_t nth, int error) {
    fail_path_calls_[{op, std::move(path), nth}] = error;
  }

  // Ends the program right after the call with this 0-based number among the calls of kind
  // `op`: every later call fails, as after a kill, and nothing is cleaned up.
  void DieAfter(Op op, size_t nth) { die_after_ = {op, nth}; }

  size_t Calls(Op op) const;
  const std::vector<std::pair<Op, std::string>>& log() const { return log_; }

  // Each call fails as told, else goes on to the real file system.
  Status ProbeFile(const std::string& p, Probe* found) override {
    *found = Probe::kAbsent;
    return Pass(Op::kProbe, p, [&] { return inner_.ProbeFile(p, found); });
  }
  Status Identify(const std::string& p, FileId* id) override {
    return Pass(Op::kIdentify, p, [&] { return inner_.Identify(p, id); });
  }
  Status MakeDirectory(const std::string& p) override {
    return Pass(Op::kMakeDirectory, p, [&] { return inner_.MakeDirectory(p); });
  }
  Status ReadFile(const std::string& p, std::string* bytes) override {
    return Pass(Op::kReadFile, p, [&] { return inner_.ReadFile(p, bytes); });
  }
  Status ReadPage(const std::string& p, std::string* bytes, FileInfo* info) override {
    return Pass(Op::kReadPage, p, [&] { return inner_.ReadPage(p, bytes, info); });
  }
  Status Describe(const std::string& p, FileInfo* info) override {
    return Pass(Op::kDescribe, p, [&] { return inner_.Describe(p, info); });
  }
  Status CreateFile(const std::string& p, std::string_view bytes, uint32_t mode) override {
    return Pass(Op::kCreateFile, p, [&] { return inner_.CreateFile(p, bytes, mode); });
  }
  Status WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) override {
    temp->clear();
    return Pass(Op::kWriteTemp, info.path, [&] { return inner_.WriteTemp(info, bytes, temp); });
  }
  Status LinkFile(const FileInfo& info, const std::string& name) override {
    return Pass(Op::kLinkFile, name, [&] { return inner_.LinkFile(info, name); });
  }
  Status Flush() override {
    return Pass(Op::kFlush, ".", [&] { return inner_.Flush(); });
  }
  Status PutInPlace(const std::string& temp, const FileInfo& info) override;
  Status WriteInPlace(const FileInfo& info, std::string_view bytes) override {
    return Pass(Op::kWriteInPlace, info.path, [&] { return inner_.WriteInPlace(info, bytes); });
  }
  Status RemoveFile(const std::string& p) override {
    return Pass(Op::kRemoveFile, p, [&] { return inner_.RemoveFile(p); });
  }
  Status LockFolder(const std::string& p, const std::function<void()>& on_wait) override {
    return Pass(Op::kLockFolder, p, [&] { return inner_.LockFolder(p, on_wait); });
  }
  void UnlockFolder() override { inner_.UnlockFolder(); }
  void RemoveLeftovers(const std::string& folder) override { inner_.RemoveLeftovers(folder); }
  Status ProbeWrite(const std::string& p, Intent intent) override {
    return Pass(Op::kProbeWrite, p, [&] { return inner_.ProbeWrite(p, intent); });
  }
  Status AppendFile(const std::string& p, std::string_view bytes) override {
    return Pass(Op::kAppendFile, p, [&] { return inner_.AppendFile(p, bytes); });
  }
  Status ListFolder(const std::string& p, std::vector<FolderEntry>* entries) override {
    return Pass(Op::kListFolder, p, [&] { return inner_.ListFolder(p, entries); });
  }
  // A part of a file is read as the whole is: the same faults.
  Status ReadPart(const std::string& p, uint64_t offset, size_t size, std::string* bytes,
                  uint64_t* file_size) override {
    bytes->clear();
    return Pass(Op::kReadFile, p,
                [&] { return inner_.ReadPart(p, offset, size, bytes, file_size); });
  }
  Status Resolve(const std::string& p, std::string* real) override {
    return Pass(Op::kIdentify, p, [&] { return inner_.Resolve(p, real); });
  }

 private:
  // The errno this call is to fail with, or 0.
  int Fails(Op op, const std::string& path);
  template <typename Call>
  Status Pass(Op op, const std::string& path, Call call) {
    if (int error = Fails(op, path)) return Status::FromErrno(error, path);
    return call();
  }

  FileSystem& inner_;
  std::map<std::pair<Op, size_t>, int> fail_calls_;
  std::map<std::pair<Op, std::string>, int> fail_paths_;
  std::map<std::tuple<Op, std::string, size_t>, int> fail_path_calls_;
  std::map<std::pair<Op, std::string>, size_t> path_counts_;
  std::map<Op, size_t> counts_;
  std::optional<std::pair<Op, size_t>> die_after_;
  bool dead_ = false;
  std::vector<std::pair<Op, std::string>> log_;
};

}  // namespace splicery::testing
