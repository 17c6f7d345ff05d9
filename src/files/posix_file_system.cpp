// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX implementation of the file layer: regular files only; new files are never visible
// half written; the barrier is syncfs.
#include "files/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

#include "files/big_buffer.h"

namespace splicery {
namespace {

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
  int Release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// An empty path or one holding a NUL byte (which a C call would cut short) names no file.
bool NamesNoFile(const std::string& path) {
  return path.empty() || path.find('\0') != std::string::npos;
}

// Opens a regular file for reading; a folder, FIFO or device is refused without blocking.
// -1 with errno set on failure: EISDIR for a folder, EINVAL for any other non-regular file.
int OpenRegular(const std::string& path, struct stat* st, int flags = 0) {
  if (NamesNoFile(path)) {
    errno = ENOENT;
    return -1;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
  if (fd < 0) return -1;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    const int error = S_ISDIR(st->st_mode) ? EISDIR : S_ISREG(st->st_mode) ? errno : EINVAL;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

std::string DirName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a file named `name` could be made in `folder`; a failure names `path`.
Status ProbeNewName(const std::string& folder, const std::string& name, const std::string& path) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return Status::FromErrno(errno, path);
  if (!S_ISDIR(st.st_mode)) return Status::FromErrno(ENOTDIR, path);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return Status::FromErrno(errno, path);
  }
  const long name_max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (name.size() > static_cast<size_t>(name_max > 0 ? name_max : NAME_MAX)) {
    return Status::FromErrno(ENAMETOOLONG, path);
  }
  return {};
}

// A failed open with O_NOFOLLOW: ELOOP there means that the name itself is a symbolic link.
Status NoFollowFailure(int error, const std::string& path) {
  struct stat st;
  if (error == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    return Status::Failure(Code::kSymbolicLink, path);
  }
  return Status::FromErrno(error, path);
}

// What AppendFile would meet at `path`: a missing name is made there (its folder is the
// caller's to have made); an existing one must be a regular file, not a link, that may be
// read and written.
Status ProbeAppend(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? Status() : Status::FromErrno(errno, path);
  }
  if (S_ISLNK(st.st_mode)) return Status::Failure(Code::kSymbolicLink, path);
  if (!S_ISREG(st.st_mode)) return Status::FromErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
  if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
    return Status::FromErrno(errno, path);
  }
  return {};
}

// Reads the whole open regular file. Asks for one byte more than its size, so that a file
// read in one go needs no further call to find its end.
Status ReadOpen(int fd, const std::string& path, size_t size, std::string* bytes) {
  constexpr size_t kMaxRead = size_t{1} << 30;  // below the kernel's cap for one read
  size_t want = std::min(size + 1, kMaxRead);
  // A buffer too small is replaced by one of the size needed, not grown to twice its own:
  // buffers go round between reads and the backups a batch holds.
  if (bytes->capacity() < want) std::string().swap(*bytes);
  // An earlier read's bytes stand where this one goes: sizing over them costs nothing, where
  // growing from empty would clear every byte before the read overwrites it.
  for (size_t have = 0;;) {
    ReserveBytes(*bytes, have + want);
    if (bytes->size() < have + want) bytes->resize(have + want);
    const ssize_t n = ::read(fd, bytes->data() + have, want);
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      bytes->resize(have);
      return Status::FromErrno(error, path);
    }
    have += static_cast<size_t>(n);
    // Short at the end, or at the end.
    if (n == 0 || (static_cast<size_t>(n) < want && have >= size)) {
      bytes->resize(have);
      return {};
    }
    want = std::min(std::max(size - std::min(size, have), size_t{1} << 16), kMaxRead);
  }
}

void DescribeStat(const struct stat& st, FileInfo* info) {
  info->key = {st.st_dev, st.st_ino};
  info->size = static_cast<uint64_t>(st.st_size);
  info->mtime_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  info->ctime_ns = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  info->facts.links = st.st_nlink;
  info->facts.mode = st.st_mode & 07777;
  info->facts.owner = st.st_uid;
  info->facts.group = st.st_gid;
}

bool StillTheSame(const struct stat& st, const FileInfo& info) {
  FileInfo now;
  DescribeStat(st, &now);
  return now.Unchanged(info);
}

using CPath = std::unique_ptr<char, decltype(&std::free)>;

constexpr const char* kAccessAcl = "system.posix_acl_access";

// The names of the open file's extended attributes; none where the file system has none.
std::vector<std::string> ListAttributes(int fd) {
  std::vector<std::string> names;
  std::string list;
  for (ssize_t size; (size = ::flistxattr(fd, nullptr, 0)) > 0;) {
    list.resize(static_cast<size_t>(size));
    size = ::flistxattr(fd, list.data(), list.size());
    if (size < 0 && errno == ERANGE) continue;  // one was added meanwhile
    list.resize(static_cast<size_t>(std::max<ssize_t>(size, 0)));
    break;
  }
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find('\0', at), list.size());
    if (end > at) names.emplace_back(list.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

// Copies the attributes `names` of the file `from` to the open file `to`: 0, or the errno of
// the first that could not be copied. One that is gone from `from` meanwhile is not copied.
int CopyAttributes(const std::string& from, int to, const std::vector<std::string>& names) {
  std::string value;
  for (const std::string& name : names) {
    ssize_t size = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (size >= 0) {
      value.resize(static_cast<size_t>(size));
      size = ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
    }
    if (size < 0) {
      if (errno == ENODATA) continue;
      return errno;
    }
    if (::fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0) {
      return errno;
    }
  }
  return 0;
}

// Whether the kernel's copy of `from` is known to be the bytes read: the same file, size and
// times, and its last change longer ago than a coarse clock tick, so that a write in the tick
// of the read cannot hide behind an unchanged time.
bool CopiedAsRead(int in, const FileInfo& from) {
  struct stat st;
  if (::fstat(in, &st) != 0 || !StillTheSame(st, from)) return false;
  const int64_t ctime = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr int64_t kSettled = int64_t{2} * 1000000000;
  return ctime == from.ctime_ns &&
         ctime < int64_t{now.tv_sec} * 1000000000 + now.tv_nsec - kSettled;
}

// Fills the new file `out` with the bytes of `from` as read (`bytes`): copied in the kernel
// (shared where the file system can) where that is known to give the bytes read, else
// written from `bytes`. 0, or the errno.
int CopyInto(int out, const FileInfo& from, std::string_view bytes) {
  FdCloser in{::open(from.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
  size_t copied = 0;
  while (in.fd >= 0 && copied < bytes.size()) {
    const ssize_t n = ::copy_file_range(in.fd, nullptr, out, nullptr, bytes.size() - copied, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // cannot copy here (whatever the reason), or the file got shorter
    copied += static_cast<size_t>(n);
  }
  if (in.fd >= 0 && copied == bytes.size() && CopiedAsRead(in.fd, from)) return 0;
  if (copied > 0 && (::ftruncate(out, 0) != 0 || ::lseek(out, 0, SEEK_SET) != 0)) return errno;
  return WriteAll(out, bytes.data(), bytes.size()) ? 0 : errno;
}

// Calls `each` with every entry of `folder` but "." and "..".
Status EachEntry(const std::string& folder, const std::function<void(int, const dirent&)>& each) {
  if (NamesNoFile(folder)) return Status::FromErrno(ENOENT, folder);
  struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return Status::FromErrno(errno, folder);
  for (;;) {
    errno = 0;  // a listing cut short by an error is no listing
    const dirent* entry = ::readdir(dir.get());
    if (!entry) return errno == 0 ? Status() : Status::FromErrno(errno, folder);
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") each(::dirfd(dir.get()), *entry);
  }
}

}  // namespace

bool IsTempName(std::string_view name) {
  const size_t marker = name.rfind(kTempMarker);
  if (name.empty() || name[0] != '.' || marker == std::string_view::npos || marker == 0) {
    return false;
  }
  // "<pid>-<n>" follows the marker.
  const std::string_view tail = name.substr(marker + kTempMarker.size());
  const size_t dash = tail.find('-');
  const auto digits = [](std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return dash != std::string_view::npos && digits(tail.substr(0, dash)) &&
         digits(tail.substr(dash + 1));
}

PosixFileSystem::PosixFileSystem() : PosixFileSystem(true) {}

PosixFileSystem::PosixFileSystem(bool unnamed_temp_files)
    : unnamed_temp_files_(unnamed_temp_files), uid_(::geteuid()), gid_(::getegid()) {
  umask_ = ::umask(0);
  ::umask(umask_);
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    groups_.resize(static_cast<size_t>(count));
    groups_.resize(static_cast<size_t>(std::max(0, ::getgroups(count, groups_.data()))));
  }
}

PosixFileSystem::~PosixFileSystem() { UnlockFolder(); }

bool PosixFileSystem::MayUseGroup(gid_t group) const {
  return uid_ == 0 || group == gid_ ||
         std::find(groups_.begin(), groups_.end(), group) != groups_.end();
}

void PosixFileSystem::AddFacts(FileInfo* info) {
  const Folder& folder = FolderOf(DirName(info->path));
  WriteFacts& f = info->facts;
  f.folder_group = folder.group;
  f.folder_setgid = folder.setgid;
  f.user = uid_;
  f.root = uid_ == 0;
  f.groups.assign(1, gid_);
  f.groups.insert(f.groups.end(), groups_.begin(), groups_.end());
}

const PosixFileSystem::Folder& PosixFileSystem::FolderOf(const std::string& dir) {
  auto it = folders_.find(dir);
  if (it != folders_.end() && it->second.known) return it->second;
  Folder folder{false, 0, gid_, gid_, false, false};
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) {
    const bool setgid = (st.st_mode & S_ISGID) != 0;
    const bool default_acl = ::getxattr(dir.c_str(), "system.posix_acl_default", nullptr, 0) > 0;
    folder = {true, st.st_dev, st.st_gid, setgid ? st.st_gid : gid_, setgid, default_acl};
  }
  return folders_.insert_or_assign(dir, folder).first->second;
}

void PosixFileSystem::Written(const std::string& dir) {
  const Folder& folder = FolderOf(dir);
  // try_emplace: emplace would make (and drop) a node on every write.
  if (folder.known) unflushed_.try_emplace(folder.device, dir);
}

// Creates a fresh temporary file beside `path` (same folder, so rename stays atomic). The name
// never follows a link planted there: O_EXCL refuses any existing name. Where `lock`, it is
// locked while open, so that a clean-up (RemoveLeftovers) can tell it from a leftover. A page's
// new file needs none: clean-ups run only in runs, under the site's lock, and the file is closed
// long before it is renamed, so a lock would not cover it then anyway.
int PosixFileSystem::CreateTemp(const std::string& path, mode_t mode, std::string* temp_path,
                                bool lock) {
  static const std::string pid = std::to_string(::getpid());
  // Room for the dot, the marker, the pid and the largest counter; the page name gets the rest.
  constexpr size_t kCounterDigits = 10;
  const size_t fixed = 1 + kTempMarker.size() + pid.size() + 1 + kCounterDigits;
  std::string& name = *temp_path;
  name.assign(DirName(path)).append("/.").append(BaseName(path).substr(0, NAME_MAX - fixed));
  name.append(kTempMarker).append(pid).append("-");
  const size_t prefix = name.size();
  for (int attempt = 0; attempt < 100; ++attempt) {
    name.resize(prefix);
    name.append(std::to_string(temp_counter_++));
    int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) {
      if (lock) (void)::flock(fd, LOCK_EX | LOCK_NB);  // a new name: no one else can hold it
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

Status PosixFileSystem::ProbeFile(const std::string& path, Probe* found) {
  *found = Probe::kAbsent;
  if (NamesNoFile(path)) return {};
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) *found = Probe::kFile;
    return {};
  }
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return {};
  return Status::FromErrno(errno, path);
}

Status PosixFileSystem::MakeDirectory(const std::string& path) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  if (::mkdir(path.c_str(), 0777) != 0) return Status::FromErrno(errno, path);
  const Folder& parent = FolderOf(DirName(path));
  FdCloser made{::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (made.fd >= 0) {
    if (parent.new_file != parent.group && MayUseGroup(parent.group)) {
      (void)!::fchown(made.fd, static_cast<uid_t>(-1), parent.group);
    }
    ForTheGroup(parent, made.fd, S_IRWXG);
  }
  Written(DirName(path));
  return {};
}

// In a set-group-ID folder everything made is the group's to use, whatever the umask of the
// member who made it (a default ACL says itself what new files get).
void PosixFileSystem::ForTheGroup(const Folder& folder, int fd, mode_t bits) {
  struct stat st;
  if (!folder.setgid || folder.default_acl || ::fstat(fd, &st) != 0) return;
  if ((st.st_mode & bits) != bits) (void)::fchmod(fd, (st.st_mode & 07777) | bits);
}

Status PosixFileSystem::Identify(const std::string& path, FileId* id) {
  struct stat st;
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  if (::stat(path.c_str(), &st) != 0) return Status::FromErrno(errno, path);
  *id = {{st.st_dev, st.st_ino}, path};
  // A folder part may be a link, after which ".." leads elsewhere than it reads.
  const bool plain = path.find('/') == std::string::npos;
  if (!plain || (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))) {
    const CPath target(::realpath(path.c_str(), nullptr), &std::free);
    const CPath here(::realpath(".", nullptr), &std::free);
    if (target && here) {
      const std::string_view t = target.get(), h = here.get();
      if (t.size() > h.size() + 1 && t.starts_with(h) && t[h.size()] == '/') {
        id->written_at = t.substr(h.size() + 1);
      }
    }
  }
  return {};
}

namespace {

// Tells the read-ahead of a change once it is made, on every way out: a read that began
// before it ended may hold the old bytes (told before, a read begun in between would not be).
class ToldAfter {
 public:
  explicit ToldAfter(ReadAhead* ahead) : ahead_(ahead), any_(true) {}
  ToldAfter(ReadAhead* ahead, FileKey key) : ahead_(ahead), key_(key), any_(false) {}
  ~ToldAfter() {
    if (ahead_ && any_) ahead_->ChangedAny();
    if (ahead_ && !any_) ahead_->Changed(key_);
  }
  ToldAfter(const ToldAfter&) = delete;
  ToldAfter& operator=(const ToldAfter&) = delete;

 private:
  ReadAhead* ahead_;
  FileKey key_;
  bool any_;
};

// ReadFile, and the file's identity into *info; safe in any thread.
Status ReadPlainFile(const std::string& path, std::string* bytes, FileInfo* info) {
  struct stat st;
  FdCloser fd{OpenRegular(path, &st)};
  if (fd.fd < 0) return Status::FromErrno(errno, path);
  DescribeStat(st, info);
  return ReadOpen(fd.fd, path, static_cast<size_t>(st.st_size), bytes);
}

// A symlinked page is read, checked and replaced at its target, so the link stays a link.
// Opens and describes it but for its folder's facts; safe in any thread.
int OpenPageFile(const std::string& path, FileInfo* info) {
  struct stat st;
  info->path = path;
  int fd = OpenRegular(path, &st, O_NOFOLLOW);
  if (fd < 0 && errno == ELOOP) {
    const CPath target(::realpath(path.c_str(), nullptr), &std::free);
    if (!target) return -1;
    info->path = target.get();
    fd = OpenRegular(info->path, &st);
  }
  if (fd < 0) return -1;
  DescribeStat(st, info);
  info->facts.attributes = ListAttributes(fd);
  return fd;
}

Status ReadPageFile(const std::string& path, std::string* bytes, FileInfo* info) {
  FdCloser fd{OpenPageFile(path, info)};
  if (fd.fd < 0) return Status::FromErrno(errno, path);
  return ReadOpen(fd.fd, path, static_cast<size_t>(info->size), bytes);
}

}  // namespace

Status PosixFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  FileInfo info;
  work_.reset();
  if (ahead_ && !ahead_pages_ && ahead_->Take(path, bytes, &info, &work_)) return {};
  return ReadPlainFile(path, bytes, &info);
}

int PosixFileSystem::OpenPage(const std::string& path, FileInfo* info) {
  const int fd = OpenPageFile(path, info);
  if (fd >= 0) AddFacts(info);
  return fd;
}

Status PosixFileSystem::ReadPage(const std::string& path, std::string* bytes, FileInfo* info) {
  work_.reset();
  if (!(ahead_ && ahead_pages_ && ahead_->Take(path, bytes, info, &work_))) {
    if (Status read = ReadPageFile(path, bytes, info); !read) return read;
  }
  AddFacts(info);  // the folder's facts are looked up here, in the caller's thread
  return {};
}

void PosixFileSystem::WillRead(const std::vector<std::string>& paths, bool pages,
                               const WorkOnRead& work) {
  ahead_.reset();
  work_.reset();
  if (paths.empty()) return;
  ahead_pages_ = pages;
  ahead_ = std::make_unique<ReadAhead>(paths, pages ? ReadPageFile : ReadPlainFile, work);
}

Status PosixFileSystem::Describe(const std::string& path, FileInfo* info) {
  FdCloser fd{OpenPage(path, info)};
  return fd.fd < 0 ? Status::FromErrno(errno, path) : Status();
}

// The bytes go to an unnamed file (or a temporary name) that is then linked into place;
// linking refuses an existing name.
Status PosixFileSystem::CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) {
  return CreateWith(path, mode,
                    [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()) ? 0 : errno; });
}

Status PosixFileSystem::CopyFile(const FileInfo& from, const std::string& path,
                                 std::string_view bytes, uint32_t mode) {
  return CreateWith(path, mode, [&](int fd) { return CopyInto(fd, from, bytes); });
}

Status PosixFileSystem::CreateWith(const std::string& path, uint32_t mode,
                                   const std::function<int(int fd)>& fill) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  const std::string dir = DirName(path);
  const Folder& folder = FolderOf(dir);
  const auto take_group = [&](int fd) {
    if (folder.new_file != folder.group && MayUseGroup(folder.group)) {
      (void)!::fchown(fd, static_cast<uid_t>(-1), folder.group);
    }
    ForTheGroup(folder, fd, S_IRGRP | S_IWGRP);
  };
  FdCloser out;
  if (unnamed_temp_files_) {
    out.fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  } else {
    errno = EOPNOTSUPP;
  }
  if (out.fd >= 0) {
    take_group(out.fd);
    if (const int error = fill(out.fd); error != 0) return Status::FromErrno(error, path);
    const std::string self = "/proc/self/fd/" + std::to_string(out.fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (::close(out.Release()) != 0) return Status::FromErrno(errno, path);
      Written(dir);
      return {};
    }
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
      return Status::FromErrno(errno, path);
    }
    // Without /proc an unnamed file cannot be linked: take the named way below.
    ::close(out.Release());
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return Status::FromErrno(errno, path);
  }
  std::string temp;
  out.fd = CreateTemp(path, mode, &temp, true);
  if (out.fd < 0) return Status::FromErrno(errno, path);
  take_group(out.fd);
  int error = fill(out.fd);
  if (::close(out.Release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::link(temp.c_str(), path.c_str()) != 0) error = errno;
  ::unlink(temp.c_str());
  if (error != 0) return Status::FromErrno(error, path);
  Written(dir);
  return {};
}

Status PosixFileSystem::WriteTemp(const FileInfo& info, std::string_view bytes, std::string* temp) {
  temp->clear();
  const std::string dir = DirName(info.path);
  const Folder& folder = FolderOf(dir);
  const WriteFacts& f = info.facts;
  const auto fail = [&](Status status) {
    ::unlink(temp->c_str());
    temp->clear();
    return status;
  };
  const mode_t mode = f.mode & 07777;
  FdCloser out{CreateTemp(info.path, mode & 0777, temp, false)};
  if (out.fd < 0) {
    temp->clear();
    return Status::FromErrno(errno, info.path);
  }
  // The bytes first, then ownership, attributes and mode: a write clears the set-ID bits and a
  // file capability, so does a change of owner; setting an ACL rewrites the permission bits.
  if (!WriteAll(out.fd, bytes.data(), bytes.size())) {
    return fail(Status::FromErrno(errno, info.path));
  }
  const bool chown = f.owner != uid_ || f.group != folder.new_file;
  if (chown && ::fchown(out.fd, f.owner, f.group) != 0) {
    return fail(Status::Failure(Code::kOwnerNotGiven, info.path));
  }
  if (Status given = GiveAttributes(info, folder, out.fd); !given) return fail(given);
  // The file was created with exactly `mode` unless the umask, a set-ID bit, a change of
  // owner or an ACL had a say: only then is the mode given again.
  const bool exact =
      (mode & (07000 | umask_)) == 0 && !chown && f.attributes.empty() && !folder.default_acl;
  if (!exact && ::fchmod(out.fd, mode) != 0) return fail(Status::FromErrno(errno, info.path));
  if (::close(out.Release()) != 0) return fail(Status::FromErrno(errno, info.path));
  Written(dir);
  return {};
}

// The page's attributes on its new file; an access ACL inherited from the folder that the
// page does not have would change who may use the page, so it goes.
Status PosixFileSystem::GiveAttributes(const FileInfo& info, const Folder& folder, int fd) {
  const std::vector<std::string>& names = info.facts.attributes;
  int error = CopyAttributes(info.path, fd, names);
  if (error == 0 && folder.default_acl &&
      std::find(names.begin(), names.end(), kAccessAcl) == names.end() &&
      ::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA) {
    error = errno;
  }
  if (error == EPERM || error == EACCES || error == ENOTSUP) {
    return Status::Failure(Code::kAttributeNotGiven, info.path);
  }
  return error == 0 ? Status() : Status::FromErrno(error, info.path);
}

Status PosixFileSystem::LinkFile(const FileInfo& info, const std::string& name) {
  if (NamesNoFile(name) || NamesNoFile(info.path)) return Status::FromErrno(ENOENT, name);
  const std::string dir = DirName(name);
  const Folder& folder = FolderOf(dir);
  if (folder.setgid && (info.facts.group != folder.group || (info.facts.mode & S_IRGRP) == 0)) {
    return Status::Failure(Code::kOwnerNotGiven, name);
  }
  if (::link(info.path.c_str(), name.c_str()) != 0) return Status::FromErrno(errno, name);
  const ToldAfter told(ahead_.get(), info.key);  // one more name, or one less again
  Written(dir);
  struct stat st;
  if (::lstat(name.c_str(), &st) == 0 && StillTheSame(st, info)) return {};
  ::unlink(name.c_str());
  return Status::Failure(Code::kChangedSinceRead, name);
}

Status PosixFileSystem::Flush() {
  for (const auto& [device, dir] : unflushed_) {
    FdCloser fd{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd.fd < 0 || ::syncfs(fd.fd) != 0) return Status::FromErrno(errno, dir);
  }
  unflushed_.clear();
  return {};
}

Status PosixFileSystem::PutInPlace(const std::string& temp, const FileInfo& info) {
  struct stat st;
  Status status;
  const bool gone = ::stat(info.path.c_str(), &st) != 0;
  if (!gone && !StillTheSame(st, info)) {
    status = Status::Failure(Code::kChangedSinceRead, info.path);
  } else if (gone || ::rename(temp.c_str(), info.path.c_str()) != 0) {
    status = Status::FromErrno(errno, info.path);
  } else {
    if (ahead_) ahead_->Changed(info.key);  // the old file lost the name
    Written(DirName(info.path));
    return {};
  }
  ::unlink(temp.c_str());
  return status;
}

Status PosixFileSystem::WriteInPlace(const FileInfo& info, std::string_view bytes) {
  FdCloser fd{::open(info.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
  struct stat st;
  if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0) return Status::FromErrno(errno, info.path);
  if (!StillTheSame(st, info)) return Status::Failure(Code::kChangedSinceRead, info.path);
  const ToldAfter told(ahead_.get(), info.key);
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n =
        ::pwrite(fd.fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno != EINTR) return Status::FromErrno(errno, info.path);
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (::ftruncate(fd.fd, static_cast<off_t>(bytes.size())) != 0 || ::close(fd.Release()) != 0) {
    return Status::FromErrno(errno, info.path);
  }
  Written(DirName(info.path));
  return {};
}

Status PosixFileSystem::RemoveFile(const std::string& path) {
  const ToldAfter told(ahead_.get());
  if (::unlink(path.c_str()) == 0) return {};
  return Status::FromErrno(errno, path);
}

Status PosixFileSystem::LockFolder(const std::string& folder,
                                   const std::function<void()>& on_wait) {
  UnlockFolder();
  FdCloser fd{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (fd.fd < 0) return Status::FromErrno(errno, folder);
  if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return {};  // no locks here
    if (errno != EWOULDBLOCK) return Status::FromErrno(errno, folder);
    on_wait();
    while (::flock(fd.fd, LOCK_EX) != 0) {
      if (errno != EINTR) return Status::FromErrno(errno, folder);
    }
  }
  lock_fd_ = fd.Release();
  return {};
}

void PosixFileSystem::UnlockFolder() {
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
}

// A temporary file some run still holds is locked; one a killed run left is not.
void PosixFileSystem::RemoveLeftovers(const std::string& folder) {
  bool removed = false;
  (void)EachEntry(folder, [&removed](int dir_fd, const dirent& entry) {
    if (!IsTempName(entry.d_name)) return;
    FdCloser fd{::openat(dir_fd, entry.d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (fd.fd >= 0 && ::flock(fd.fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlinkat(dir_fd, entry.d_name, 0) == 0) {
      removed = true;
    }
  });
  // Only a file removed can have been read ahead (a page listed under a temporary name): the
  // pages read ahead while the folders are prepared stay good where none was.
  if (removed && ahead_) ahead_->ChangedAny();
}

Status PosixFileSystem::ProbeWrite(const std::string& path, Intent intent) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  if (intent == Intent::kTempBeside) return ProbeNewName(DirName(path), "", path);
  if (intent == Intent::kAppend) return ProbeAppend(path);
  if (path.size() >= PATH_MAX) return Status::FromErrno(ENAMETOOLONG, path);
  Status probed = ProbeNewName(DirName(path), BaseName(path), path);
  struct stat st;
  if (probed && ::lstat(path.c_str(), &st) == 0) return Status::FromErrno(EEXIST, path);
  return probed;
}

Status PosixFileSystem::AppendFile(const std::string& path, std::string_view bytes) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  const std::string dir = DirName(path);
  struct stat folder;
  if (::stat(dir.c_str(), &folder) != 0) return Status::FromErrno(errno, path);
  FdCloser fd{::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)};
  if (fd.fd < 0) return NoFollowFailure(errno, path);
  struct stat st;
  if (::fstat(fd.fd, &st) != 0) return Status::FromErrno(errno, path);
  const ToldAfter told(ahead_.get(), {st.st_dev, st.st_ino});
  // Everyone who may run in this folder may read and write its journal: its group, and group
  // read and write where the folder is the group's.
  if (st.st_size == 0) {
    if (st.st_gid != folder.st_gid && MayUseGroup(folder.st_gid)) {
      (void)!::fchown(fd.fd, static_cast<uid_t>(-1), folder.st_gid);
    }
    const mode_t group_rw = S_IRGRP | S_IWGRP;
    if ((folder.st_mode & (S_IWGRP | S_ISGID)) && (st.st_mode & group_rw) != group_rw) {
      (void)!::fchmod(fd.fd, (st.st_mode & 07777) | group_rw);
    }
  }
  if (!WriteAll(fd.fd, bytes.data(), bytes.size())) return Status::FromErrno(errno, path);
  if (::close(fd.Release()) != 0) return Status::FromErrno(errno, path);
  Written(dir);
  return {};
}

Status PosixFileSystem::ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  return EachEntry(folder, [&](int dir_fd, const dirent& entry) {
    FolderEntry found{entry.d_name, false, 0, 0, {}};
    struct stat st;
    if (::fstatat(dir_fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      found.regular = S_ISREG(st.st_mode);
      found.mtime_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
      found.ctime_ns = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
      found.key = {st.st_dev, st.st_ino};
    }
    entries->push_back(std::move(found));
  });
}

// The folder's own record of each entry's type spares a look at every file.
Status PosixFileSystem::ListNames(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  return EachEntry(folder, [&](int dir_fd, const dirent& entry) {
    bool regular = entry.d_type == DT_REG;
    struct stat st;
    if (entry.d_type == DT_UNKNOWN &&
        ::fstatat(dir_fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      regular = S_ISREG(st.st_mode);
    }
    entries->push_back({entry.d_name, regular, 0, 0, {}});
  });
}

Status PosixFileSystem::ReadPart(const std::string& path, uint64_t offset, size_t size,
                                 std::string* bytes, uint64_t* file_size) {
  bytes->clear();
  struct stat st;
  FdCloser fd{OpenRegular(path, &st)};
  if (fd.fd < 0) return Status::FromErrno(errno, path);
  *file_size = static_cast<uint64_t>(st.st_size);
  bytes->resize(size);
  size_t have = 0;
  while (have < size) {
    const ssize_t n =
        ::pread(fd.fd, bytes->data() + have, size - have, static_cast<off_t>(offset + have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::FromErrno(errno, path);
    if (n == 0) break;
    have += static_cast<size_t>(n);
  }
  bytes->resize(have);
  return {};
}

Status PosixFileSystem::Resolve(const std::string& path, std::string* real) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  if (const CPath whole(::realpath(path.c_str(), nullptr), &std::free); whole) {
    *real = whole.get();
    return {};
  }
  if (errno != ENOENT) return Status::FromErrno(errno, path);
  const CPath folder(::realpath(DirName(path).c_str(), nullptr), &std::free);
  if (!folder) return Status::FromErrno(errno, path);
  const std::string_view base = folder.get();
  *real = std::string(base) + (base == "/" ? "" : "/") + BaseName(path);
  return {};
}

}  // namespace splicery
