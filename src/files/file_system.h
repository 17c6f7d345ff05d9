// SPDX-License-Identifier: GPL-3.0-or-later
// The one door to the disk. Every file operation of the scan and the update run goes through
// this interface, so tests can put a double in front that fails any single call or cuts the
// power after it. Every call answers with a Status that names the path and the reason of a
// failure. Writing is split into steps (a new file, a barrier, putting it in place, writing in
// place), so that a caller decides the order in which things become durable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/status.h"

namespace splicery {

// What a reader works out from a file's bytes alone. Where reads are done ahead (WillRead),
// it may be worked out in the reading thread, right after the read, and handed over with the
// bytes (FileSystem::TakeWork): two threads then share the work on the files as well.
class ReadWork {
 public:
  virtual ~ReadWork() = default;
  // The memory it holds, counted with the bytes read ahead against the read-ahead's bound.
  virtual size_t Size() const { return 0; }
};
// Works out a ReadWork from a file's bytes; never called in two threads at once.
using WorkOnRead = std::function<std::unique_ptr<ReadWork>(std::string_view bytes)>;

// What a name test found. Only a regular file (links followed) counts as present; a folder or
// a broken link of that name counts as absent.
enum class Probe { kAbsent, kFile };

// Which file a name leads to: two names of one file have the same key.
struct FileKey {
  uint64_t device = 0, inode = 0;
  auto operator<=>(const FileKey&) const = default;
};

// What decides how a file may be replaced (the update layer's write policy reads them): whose
// it is, its mode and links, the folder it lies in, and who is asking.
struct WriteFacts {
  uint32_t owner = 0, group = 0;
  uint32_t mode = 0;  // permission and special bits
  uint64_t links = 1;
  uint32_t folder_group = 0;
  bool folder_setgid = false;
  uint32_t user = 0;             // the process's effective user
  std::vector<uint32_t> groups;  // its effective group first, then its other groups
  bool root = false;
  // The names of the file's extended attributes (its ACL among them), as the kernel lists them.
  std::vector<std::string> attributes;
  // Of the links, names that are this file's own backups (a run killed between making a
  // backup by link and the rename left them); the update layer counts them, this layer
  // leaves 0.
  uint64_t own_backup_links = 0;
};

// A page as it was read: enough to tell later whether someone changed it, and to give its
// replacement the same owner, group and permission bits.
struct FileInfo {
  std::string path;  // the file itself: the page, or the target of the page's symlink
  FileKey key;
  uint64_t size = 0;
  int64_t mtime_ns = 0;
  int64_t ctime_ns = 0;  // the last change of bytes or facts, which no program can set back
  WriteFacts facts;

  bool SameFile(const FileInfo& other) const { return key == other.key; }
  bool Unchanged(const FileInfo& other) const {
    return SameFile(other) && size == other.size && mtime_ns == other.mtime_ns;
  }
};

// Which file a name leads to (links followed): two names of one file have the same identity.
struct FileId {
  FileKey key;
  // Where a run writes the file: its name with symbolic links and ".." resolved (a linked
  // page's target), relative to the current folder where it lies inside it, else the name.
  std::string written_at;
  bool operator==(const FileId& other) const { return key == other.key; }
};

// The write that ProbeWrite is asked about.
enum class Intent {
  kCopyNew,     // CreateFile of a backup
  kTempBeside,  // WriteTemp beside this file (the page's own file, links resolved)
  kAppend,      // AppendFile: a missing name passes; an existing one must be a regular file
                // (not a symbolic link: Code::kSymbolicLink) that may be read and written
};

// One entry of a folder.
struct FolderEntry {
  std::string name;
  bool regular = false;  // a regular file (links not followed)
  int64_t mtime_ns = 0;
  int64_t ctime_ns = 0;  // the last change of the file's name count, owner or mode, too
  FileKey key;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Fails only when the test itself fails (EACCES, EIO); *found is then kAbsent.
  virtual Status ProbeFile(const std::string& path, Probe* found) = 0;

  // The identity of the file `path` names.
  virtual Status Identify(const std::string& path, FileId* id) = 0;

  // Creates a folder, in the group of the folder it is made in where the user may set that,
  // and with group read, write and search in a set-group-ID folder whatever the umask; fails
  // for any reason, an existing folder included.
  virtual Status MakeDirectory(const std::string& path) = 0;

  // Reads a whole regular file into `bytes`. A folder, a device or a missing file fails.
  virtual Status ReadFile(const std::string& path, std::string* bytes) = 0;

  // ReadFile, and what the file is (a symlink is followed to its target).
  virtual Status ReadPage(const std::string& path, std::string* bytes, FileInfo* info) = 0;

  // The reads of `paths` to come, in this order: by ReadPage where `pages`, else by ReadFile.
  // They may be done ahead, in the background, each as if it had been done then; what the
  // program changes itself in the meantime is read again. Every read behaves as without.
  // `work`, if given, may be done on the bytes read ahead. An empty list ends it.
  virtual void WillRead(const std::vector<std::string>& paths, bool pages, const WorkOnRead& work) {
    (void)paths;
    (void)pages;
    (void)work;
  }
  // WillRead's work on exactly the bytes the last ReadFile or ReadPage gave, or null where it
  // was not done ahead: the caller then does it itself.
  virtual std::unique_ptr<ReadWork> TakeWork() { return nullptr; }

  // What ReadPage tells of the file, without reading it. A folder or another file that is not
  // a regular one fails (EISDIR, EINVAL).
  virtual Status Describe(const std::string& path, FileInfo* info) = 0;

  // Creates `path` holding `bytes` with permission bits `mode`, in the group of its folder
  // where the user may set that, and with group read and write in a set-group-ID folder
  // whatever the umask. Never overwrites and never visible half written; nothing is
  // left at `path` on failure. Durable only after the next Flush.
  virtual Status CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) = 0;

  // CreateFile holding `bytes`, the bytes read of the file `from` describes: copied from that
  // file where the file system can (shared where it can, as a reflink), then its identity,
  // size and modification time checked against `from`; written from `bytes` where the copy
  // cannot be made or the file changed since it was read.
  virtual Status CopyFile(const FileInfo& from, const std::string& path, std::string_view bytes,
                          uint32_t mode) {
    (void)from;
    return CreateFile(path, bytes, mode);
  }

  // Writes `bytes` to a new temporary file beside info.path with its owner and group, the
  // extended attributes info.facts.attributes names (copied from info.path) and its whole mode,
  // in that order after the bytes, so that no write, change of owner or ACL clears a special
  // bit; an
  // access ACL the new file took from its folder's default ACL goes unless it is named. For
  // PutInPlace. Fails with Code::kOwnerNotGiven where the owner or group cannot be given, and
  // Code::kAttributeNotGiven where an attribute cannot (EPERM, EACCES, ENOTSUP). Durable only
  // after the next Flush. On failure nothing is left and *temp is empty; the failure names
  // info.path.
  virtual Status WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) = 0;

  // Gives the file info.path the further name `name` (never overwriting), if it is still the
  // file described by `info`; afterwards the new name is compared with `info` once more, and
  // where they differ it is removed again and the call fails with Code::kChangedSinceRead.
  // A link keeps the file's group and mode: where `name`'s folder is set-group-ID and the
  // file is not in that folder's group or its group may not read it, fails with
  // Code::kOwnerNotGiven. The file system's refusals (EXDEV, EMLINK, EPERM) come as errno.
  // Durable only after the next Flush.
  virtual Status LinkFile(const FileInfo& info, const std::string& name) = 0;

  // The barrier: everything created, written or renamed before it is durable after it.
  virtual Status Flush() = 0;

  // Renames `temp` over info.path if that is still the file described by `info`; otherwise
  // (or on failure) removes `temp` and fails, with Code::kChangedSinceRead when the file changed.
  virtual Status PutInPlace(const std::string& temp, const FileInfo& info) = 0;

  // Writes `bytes` into info.path itself, with the same check. A power cut in between can
  // leave the file torn, so its backup must be durable first.
  virtual Status WriteInPlace(const FileInfo& info, std::string_view bytes) = 0;

  // Removes a temporary file that is no longer wanted.
  virtual Status RemoveFile(const std::string& path) = 0;

  // Takes the exclusive lock on `folder` until UnlockFolder, waiting for another holder;
  // `on_wait` is called once before waiting. Where the file system has no locks, succeeds
  // without one.
  virtual Status LockFolder(const std::string& folder, const std::function<void()>& on_wait) = 0;
  virtual void UnlockFolder() = 0;

  // Removes temporary files of WriteTemp that runs left in `folder` and no one holds any more.
  // Only a run that holds the folder's lock calls it: WriteTemp's own files are not locked.
  virtual void RemoveLeftovers(const std::string& folder) = 0;

  // Appends `bytes` to `path`, creating it where missing with the group of its folder and,
  // where that folder is the group's (group-writable or set-group-ID), group read and write.
  // A symbolic link at `path` fails with Code::kSymbolicLink. Durable only after the next
  // Flush.
  virtual Status AppendFile(const std::string& path, std::string_view bytes) = 0;

  // The entries of `folder` ("." and ".." left out), in no particular order.
  virtual Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) = 0;

  // ListFolder for a look at which names are taken: `regular` is told where the folder itself
  // tells it, anything else may be left unset, so that no file needs a look of its own.
  virtual Status ListNames(const std::string& folder, std::vector<FolderEntry>* entries) {
    return ListFolder(folder, entries);
  }

  // Up to `size` bytes of the regular file `path` from `offset` on, and its size into
  // *file_size: a long file read a part at a time.
  virtual Status ReadPart(const std::string& path, uint64_t offset, size_t size, std::string* bytes,
                          uint64_t* file_size) = 0;

  // The absolute name of `path` with ".", ".." and symbolic links resolved as the kernel
  // resolves them; where the last part does not exist, its folder resolved and the part added.
  virtual Status Resolve(const std::string& path, std::string* real) = 0;

  // Whether writing `path` as `intent` says would succeed, as far as can be told without
  // writing: the folder exists and may be written, the name fits, and for kCopyNew no file,
  // folder or link has the name yet (EEXIST). Fails with the status that write would give.
  virtual Status ProbeWrite(const std::string& path, Intent intent) = 0;
};

// FileSystem::WillRead for as long as it lives.
class ReadingAhead {
 public:
  ReadingAhead(FileSystem& fs, const std::vector<std::string>& paths, bool pages,
               const WorkOnRead& work = nullptr)
      : fs_(fs) {
    fs_.WillRead(paths, pages, work);
  }
  ~ReadingAhead() { fs_.WillRead({}, false, nullptr); }
  ReadingAhead(const ReadingAhead&) = delete;
  ReadingAhead& operator=(const ReadingAhead&) = delete;

 private:
  FileSystem& fs_;
};

}  // namespace splicery
