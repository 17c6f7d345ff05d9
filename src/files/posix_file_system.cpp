// POSIX implementation of the file layer: regular files only, temp-and-rename for every write.
#include "files/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
int OpenRegular(const std::string& path, struct stat* st) {
  if (NamesNoFile(path)) {
    errno = ENOENT;
    return -1;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

// The file that ReplaceFile writes: `path`, or the target of the link `path` is. Fails where
// ReplaceFile refuses: a missing file, a folder or device, a file that may not be written.
Status ResolveReplaceTarget(const std::string& path, std::string* target, struct stat* st) {
  const auto fail = [&path](int error) { return Status::FromErrno(error, path); };
  if (NamesNoFile(path)) return fail(ENOENT);
  *target = path;
  if (::lstat(path.c_str(), st) != 0) return fail(errno);
  if (S_ISLNK(st->st_mode)) {
    // Write through a symlink to its target, so the link stays a link.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved || ::stat(resolved.get(), st) != 0) return fail(errno);
    *target = resolved.get();
  }
  if (S_ISDIR(st->st_mode)) return fail(EISDIR);
  if (!S_ISREG(st->st_mode)) return fail(EINVAL);
  // Renaming over a page would succeed even where the page itself may not be written; a page
  // made read-only stays as it is.
  if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);
  return {};
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

// Reads a whole regular file. Asks for one byte more than its size, so that a file read in
// one go needs no further call to find its end.
Status ReadRegular(const std::string& path, struct stat* st, std::string* bytes) {
  FdCloser fd{OpenRegular(path, st)};
  if (fd.fd < 0) return Status::FromErrno(errno, path);
  const size_t size = static_cast<size_t>(st->st_size);
  constexpr size_t kMaxRead = size_t{1} << 30;  // below the kernel's cap for one read
  bytes->clear();
  size_t want = std::min(size + 1, kMaxRead);
  for (;;) {
    const size_t have = bytes->size();
    ReserveBytes(*bytes, have + want);
    bytes->resize(have + want);
    const ssize_t n = ::read(fd.fd, bytes->data() + have, want);
    if (n < 0) {
      bytes->resize(have);
      if (errno == EINTR) continue;
      return Status::FromErrno(errno, path);
    }
    bytes->resize(have + static_cast<size_t>(n));
    if (n == 0) return {};
    if (static_cast<size_t>(n) < want && bytes->size() >= size) return {};  // short at the end
    want = std::min(std::max(size - std::min(size, bytes->size()), size_t{1} << 16), kMaxRead);
  }
}

}  // namespace

// Creates a fresh temporary file beside `path` (same folder, so rename stays atomic). The
// name never follows a link planted there: O_EXCL refuses any existing name.
int PosixFileSystem::CreateTemp(const std::string& path, mode_t mode, std::string* temp_path) {
  static const std::string pid = std::to_string(::getpid());
  // Room for the dot, the marker, the pid and the largest counter; the page name gets the rest.
  constexpr size_t kCounterDigits = 10;
  const size_t fixed = 1 + kTempMarker.size() + pid.size() + 1 + kCounterDigits;
  const std::string prefix = DirName(path) + "/." + BaseName(path).substr(0, NAME_MAX - fixed) +
                             std::string(kTempMarker) + pid + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp_path = prefix + std::to_string(temp_counter_++);
    int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Creates `path` with `bytes`, never overwriting and never visible half written: the bytes go
// to an unnamed file (or a temporary name) that is then linked into place; linking refuses an
// existing name.
Status PosixFileSystem::WriteNew(const std::string& path, mode_t mode, std::string_view bytes) {
  FdCloser out;
  if (unnamed_temp_files_) {
    out.fd = ::open(DirName(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  } else {
    errno = EOPNOTSUPP;
  }
  if (out.fd >= 0) {
    if (!WriteAll(out.fd, bytes.data(), bytes.size())) return Status::FromErrno(errno, path);
    const std::string self = "/proc/self/fd/" + std::to_string(out.fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (::close(out.Release()) == 0) return {};
      return Status::FromErrno(errno, path);
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
  out.fd = CreateTemp(path, mode, &temp);
  if (out.fd < 0) return Status::FromErrno(errno, path);
  int error = WriteAll(out.fd, bytes.data(), bytes.size()) ? 0 : errno;
  if (::close(out.Release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::link(temp.c_str(), path.c_str()) != 0) error = errno;
  ::unlink(temp.c_str());
  return error == 0 ? Status() : Status::FromErrno(error, path);
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

Status PosixFileSystem::Identify(const std::string& path, FileId* id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Status::FromErrno(errno, path);
  *id = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
  return {};
}

Status PosixFileSystem::MakeDirectory(const std::string& path) {
  if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  return Status::FromErrno(errno, path);
}

Status PosixFileSystem::CopyNew(const std::string& from, const std::string& to,
                                std::string* bytes) {
  struct stat st;
  Status read = ReadRegular(from, &st, bytes);
  if (!read) return read;
  if (NamesNoFile(to)) return Status::FromErrno(ENOENT, to);
  return WriteNew(to, st.st_mode & 0666, *bytes);
}

Status PosixFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  struct stat st;
  return ReadRegular(path, &st, bytes);
}

Status PosixFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
  const auto fail = [&path](int error) { return Status::FromErrno(error, path); };
  std::string target;
  struct stat st;
  if (Status writable = ResolveReplaceTarget(path, &target, &st); !writable) return writable;

  // The temporary file gets the page's mode at once where the umask allows, and its owner
  // where we may (only root can give a file away).
  static const uid_t uid = ::geteuid();
  static const gid_t gid = ::getegid();
  static const mode_t umask_bits = [] {
    mode_t bits = ::umask(0);
    ::umask(bits);
    return bits;
  }();
  const mode_t mode = st.st_mode & 07777;
  std::string temp;
  FdCloser out{CreateTemp(target, mode & 0777, &temp)};
  if (out.fd < 0) return fail(errno);
  if (st.st_uid != uid || st.st_gid != gid) (void)!::fchown(out.fd, st.st_uid, st.st_gid);
  int error = 0;
  if ((mode & ~umask_bits) != mode && ::fchmod(out.fd, mode) != 0) error = errno;
  if (error == 0 && !WriteAll(out.fd, bytes.data(), bytes.size())) error = errno;
  if (::close(out.Release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error == 0 ? Status() : fail(error);
}

Status PosixFileSystem::ProbeWrite(const std::string& path, Intent intent) {
  if (intent == Intent::kCopyNew) {
    if (NamesNoFile(path)) return Status::FromErrno(ENOENT, path);
    if (path.size() >= PATH_MAX) return Status::FromErrno(ENAMETOOLONG, path);
    return ProbeNewName(DirName(path), BaseName(path), path);
  }
  std::string target;
  struct stat st;
  if (Status writable = ResolveReplaceTarget(path, &target, &st); !writable) return writable;
  // The new bytes go to a temporary file beside the target, whose name always fits.
  return ProbeNewName(DirName(target), "", path);
}

}  // namespace splicery
