// POSIX implementation of the file layer: regular files only, temp-and-rename for every write.
#include "files/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

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
  std::string prefix = DirName(path) + "/." + BaseName(path) + std::string(kTempMarker) +
                       std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp_path = prefix + std::to_string(counter++);
    int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Copies the rest of `in` to `out`; copy_file_range where the kernel allows, else read/write.
bool CopyContents(int in, int out) {
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
    return false;
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
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

bool PosixFileSystem::CopyNew(const std::string& from, const std::string& to) {
  struct stat st;
  FdCloser in{OpenRegular(from, &st)};
  if (in.fd < 0) return false;
  // Copy under a temporary name, then link it into place: link() refuses an existing name, so
  // the copy never overwrites, and a killed run never leaves a partial copy under `to`.
  std::string temp;
  FdCloser out{CreateTemp(to, st.st_mode & 0666, &temp)};
  if (out.fd < 0) return false;
  bool ok = CopyContents(in.fd, out.fd);
  ok = (::close(out.Release()) == 0) && ok;
  ok = ok && ::link(temp.c_str(), to.c_str()) == 0;
  ::unlink(temp.c_str());
  return ok;
}

bool PosixFileSystem::ReadFile(const std::string& path, std::string* bytes) {
  struct stat st;
  FdCloser fd{OpenRegular(path, &st)};
  if (fd.fd < 0) return false;
  bytes->clear();
  bytes->reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

bool PosixFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
  if (path.empty()) return false;
  // Write through a symlink to its target, so the link stays a link.
  std::string target = path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  if (resolved) target = resolved.get();
  struct stat st;
  if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  std::string temp;
  FdCloser out{CreateTemp(target, 0600, &temp)};
  if (out.fd < 0) return false;
  // Best effort for the owner (only root may give a file away); the mode must hold.
  (void)!::fchown(out.fd, st.st_uid, st.st_gid);
  bool ok = ::fchmod(out.fd, st.st_mode & 07777) == 0 && WriteAll(out.fd, bytes.data(), bytes.size());
  ok = (::close(out.Release()) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace splicery
