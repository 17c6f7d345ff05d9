// SPDX-License-Identifier: GPL-3.0-or-later
// The real disk, through POSIX calls. Files are bytes; nothing is re-encoded.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "files/file_system.h"
#include "files/read_ahead.h"

namespace splicery {

// Temporary files carry this in their name, so that a person who finds one left behind by a
// killed run can tell what it is: ".index.htm.splicery-tmp-<pid>-<n>". A page name too long
// for that is shortened in it, so the name fits wherever the page's backup name fits.
inline constexpr std::string_view kTempMarker = ".splicery-tmp-";

// Whether `name` (no folder part) is one of our temporary files' names.
bool IsTempName(std::string_view name);

// The barrier is one syncfs per file system written since the last one, whatever the number
// of files: the kernel writes every dirty page out and then flushes the disk's cache once.
class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem();
  // false: never use unnamed (O_TMPFILE) files, as on file systems without them; for tests.
  explicit PosixFileSystem(bool unnamed_temp_files);
  ~PosixFileSystem() override;

  Status ProbeFile(const std::string& path, Probe* found) override;
  Status Identify(const std::string& path, FileId* id) override;
  Status MakeDirectory(const std::string& path) override;
  Status ReadFile(const std::string& path, std::string* bytes) override;
  Status ReadPage(const std::string& path, std::string* bytes, FileInfo* info) override;
  void WillRead(const std::vector<std::string>& paths, bool pages, const WorkOnRead& work) override;
  std::unique_ptr<ReadWork> TakeWork() override { return std::move(work_); }
  Status Describe(const std::string& path, FileInfo* info) override;
  Status CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) override;
  Status CopyFile(const FileInfo& from, const std::string& path, std::string_view bytes,
                  uint32_t mode) override;
  Status WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) override;
  Status LinkFile(const FileInfo& info, const std::string& name) override;
  Status Flush() override;
  Status PutInPlace(const std::string& temp, const FileInfo& info) override;
  Status WriteInPlace(const FileInfo& info, std::string_view bytes) override;
  Status RemoveFile(const std::string& path) override;
  Status LockFolder(const std::string& folder, const std::function<void()>& on_wait) override;
  void UnlockFolder() override;
  void RemoveLeftovers(const std::string& folder) override;
  Status ProbeWrite(const std::string& path, Intent intent) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override;
  Status ListNames(const std::string& folder, std::vector<FolderEntry>* entries) override;
  Status ReadPart(const std::string& path, uint64_t offset, size_t size, std::string* bytes,
                  uint64_t* file_size) override;
  Status Resolve(const std::string& path, std::string* real) override;

 private:
  // A folder's group as new files in it get it, looked up once per folder.
  struct Folder {
    bool known = false;  // false: the folder could not be looked at
    dev_t device = 0;
    gid_t group = 0;     // the folder's own group
    gid_t new_file = 0;  // the group a new file gets there (the folder's when it is setgid)
    bool setgid = false;
    bool default_acl = false;  // new files in it take an access ACL from it
  };
  const Folder& FolderOf(const std::string& dir);
  // Notes that the next Flush must cover the file system `dir` lies on.
  void Written(const std::string& dir);
  bool MayUseGroup(gid_t group) const;
  // The facts of info->path's folder and of this process.
  void AddFacts(FileInfo* info);
  // Opens a page for reading and describes it (a symlink: its target); -1 with errno set.
  int OpenPage(const std::string& path, FileInfo* info);
  int CreateTemp(const std::string& path, mode_t mode, std::string* temp_path, bool lock);
  // CreateFile with the new file's content given by `fill` (0, or an errno).
  Status CreateWith(const std::string& path, uint32_t mode, const std::function<int(int fd)>& fill);
  Status GiveAttributes(const FileInfo& info, const Folder& folder, int fd);
  static void ForTheGroup(const Folder& folder, int fd, mode_t bits);

  bool unnamed_temp_files_ = true;
  unsigned temp_counter_ = 0;
  uid_t uid_;
  gid_t gid_;
  mode_t umask_;
  std::vector<gid_t> groups_;
  std::map<std::string, Folder> folders_;
  std::map<dev_t, std::string> unflushed_;  // a folder on every file system written to
  int lock_fd_ = -1;
  std::unique_ptr<ReadAhead> ahead_;
  bool ahead_pages_ = false;        // what ahead_ reads: pages (ReadPage), else files (ReadFile)
  std::unique_ptr<ReadWork> work_;  // done ahead on the bytes of the last read
};

}  // namespace splicery
