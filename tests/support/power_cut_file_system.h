// SPDX-License-Identifier: GPL-3.0-or-later
// Test double for power cuts: an in-memory disk that knows what is durable. Bytes and names
// reach the platter only at Flush; after a chosen operation the power goes, every later call
// fails, and Disk() is what a restart would find.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/file_system.h"
#include "support/temp_site.h"

namespace splicery::testing {

// What a cut loses besides everything not yet flushed.
enum class Loss {
  kUnflushed,  // names and bytes: all as at the last Flush
  kDataOnly,   // names as they are (the journal got them), but not bytes written since the
               // last Flush: a new file is empty, one written in place torn half way
};

class PowerCutFileSystem : public FileSystem {
 public:
  explicit PowerCutFileSystem(const Files& files);                      // all of it durable
  void HardLink(const std::string& existing, const std::string& name);  // durable too
  // Whether two names lead to one file, as a restart would find them.
  bool SameFileOnDisk(const std::string& a, const std::string& b) const;

  // The power goes right after the next `operations` calls.
  void CutAfter(size_t operations, Loss loss);
  size_t operations() const { return operations_; }
  // The files a restart finds after the cut; before it, the files as they are.
  Files Disk() const;
  // A restart on what survived the cut: names of one file stay names of one file.
  PowerCutFileSystem Restart() const;

  Status ProbeFile(const std::string& path, Probe* found) override;
  Status MakeDirectory(const std::string& path) override;
  Status ReadFile(const std::string& path, std::string* bytes) override;
  Status ReadPage(const std::string& path, std::string* bytes, FileInfo* info) override;
  Status Describe(const std::string& path, FileInfo* info) override;
  Status CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) override;
  Status WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) override;
  Status LinkFile(const FileInfo& info, const std::string& name) override;
  Status Flush() override;
  Status PutInPlace(const std::string& temp, const FileInfo& info) override;
  Status WriteInPlace(const FileInfo& info, std::string_view bytes) override;
  Status RemoveFile(const std::string& path) override;
  Status LockFolder(const std::string& folder, const std::function<void()>& on_wait) override;
  void UnlockFolder() override {}
  void RemoveLeftovers(const std::string& folder) override;
  // Only check mode asks these; it writes nothing, so they only answer.
  Status Identify(const std::string& path, FileId* id) override;
  Status ProbeWrite(const std::string& path, Intent intent) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override;
  Status ReadPart(const std::string& path, uint64_t offset, size_t size, std::string* bytes,
                  uint64_t* file_size) override;
  // Names as written below "/site": this disk has no links.
  Status Resolve(const std::string& path, std::string* real) override;

 private:
  struct Inode {
    std::string bytes, durable;
    bool created = true;    // since the last Flush
    bool in_place = false;  // written in place since the last Flush
    int64_t mtime = 0;
    int64_t ctime = 0;
  };
  // Counts a call; false once the power is gone.
  bool PowerOn();
  Status Check(const FileInfo& info) const;
  size_t NewInode(std::string_view bytes);
  bool FolderExists(const std::string& path) const;

  std::vector<Inode> inodes_;
  std::map<std::string, size_t> names_, durable_names_;
  std::set<std::string> folders_, durable_folders_;
  size_t operations_ = 0, cut_at_ = SIZE_MAX, temps_ = 0;
  int64_t clock_ = 0;
  Loss loss_ = Loss::kUnflushed;
  bool cut_ = false;
  Files after_cut_;
  std::map<std::string, size_t> after_cut_ids_;  // which file each surviving name is
};

}  // namespace splicery::testing
