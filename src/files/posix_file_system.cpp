// POSIX implementation of the file layer: regular files only, temp-and-rename for every write.
#include "files/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// Opens a regular file for reading; a folder, FIFO or device is refused without blocking.
int OpenRegular(const std::string& path, struct stat* st) {
  if (path.empty()) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
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

// Creates a fresh temporary file beside `path` (same folder, so rename stays atomic).
int CreateTemp(const std::string& path, mode_t mode, std::string* temp_path) {
  static std::atomic<unsigned> counter{0};
  static const std::string pid = std::to_string(::getpid());
  std::string prefix =
      DirName(path) + "/." + BaseName(path) + std::string(kTempMarker) + pid + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp_path = prefix + std::to_string(counter++);
    int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Reads a whole regular file. Asks for one byte more than its size, so that a file read in
// one go needs no further call to find its end.
bool ReadRegular(const std::string& path, struct stat* st, std::string* bytes) {
  FdCloser fd{OpenRegular(path, st)};
  if (fd.fd < 0) return false;
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
      return false;
    }
    bytes->resize(have + static_cast<size_t>(n));
    if (n == 0) return true;
    if (static_cast<size_t>(n) < want && bytes->size() >= size) return true;  // short at the end
    want = std::min(std::max(size - std::min(size, bytes->size()), size_t{1} << 16), kMaxRead);
  }
}

// Creates `path` with `bytes`, never overwriting and never visible half written: the bytes go
// to an unnamed file (or a temporary name) that is then linked into place; linking refuses an
// existing name.
bool WriteNew(const std::string& path, mode_t mode, std::string_view bytes) {
  FdCloser out{::open(DirName(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode)};
  if (out.fd >= 0) {
    if (!WriteAll(out.fd, bytes.data(), bytes.size())) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(out.fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return ::close(out.Release()) == 0;
    }
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) return false;
    // Without /proc an unnamed file cannot be linked: take the named way below.
    ::close(out.Release());
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return false;
  }
  std::string temp;
  out.fd = CreateTemp(path, mode, &temp);
  if (out.fd < 0) return false;
  bool ok = WriteAll(out.fd, bytes.data(), bytes.size());
  ok = (::close(out.Release()) == 0) && ok;
  ok = ok && ::link(temp.c_str(), path.c_str()) == 0;
  ::unlink(temp.c_str());
  return ok;
}

}  // namespace

Probe PosixFileSystem::ProbeFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode) ? Probe::kFile : Probe::kAbsent;
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP)
    return Probe::kAbsent;
  return Probe::kError;
}

bool PosixFileSystem::MakeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool PosixFileSystem::CopyNew(const std::string& from, const std::string& to,
                              std::string* bytes) {
  struct stat st;
  return ReadRegular(from, &st, bytes) && WriteNew(to, st.st_mode & 0666, *bytes);
}

bool PosixFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  struct stat st;
  return ReadRegular(path, &st, bytes);
}

bool PosixFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
  if (path.empty()) return false;
  std::string target = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    // Write through a symlink to its target, so the link stays a link.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved || ::stat(resolved.get(), &st) != 0) return false;
    target = resolved.get();
  }
  // Renaming over a page would succeed even where the page itself may not be written; a page
  // made read-only stays as it is.
  if (!S_ISREG(st.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;
  }

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
  if (out.fd < 0) return false;
  if (st.st_uid != uid || st.st_gid != gid) (void)!::fchown(out.fd, st.st_uid, st.st_gid);
  bool ok = ((mode & ~umask_bits) == mode || ::fchmod(out.fd, mode) == 0) &&
            WriteAll(out.fd, bytes.data(), bytes.size());
  ok = (::close(out.Release()) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace splicery
