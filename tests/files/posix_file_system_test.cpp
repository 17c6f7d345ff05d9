// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/temp_site.h"
#include "update/write_policy.h"

namespace splicery {
namespace {

using testing::TempSite;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

Probe Found(FileSystem& fs, const std::string& path) {
  Probe found = Probe::kFile;
  EXPECT_TRUE(fs.ProbeFile(path, &found)) << path;
  return found;
}

bool AnyTempFile(const TempSite& site) {
  for (const std::string& path : site.ListFiles()) {
    if (path.find(kTempMarker) != std::string::npos) return true;
  }
  return false;
}

// A backup copy as the update run makes it: read, then a new file from those bytes.
Status Copy(FileSystem& fs, const std::string& from, const std::string& to, std::string* bytes) {
  FileInfo info;
  Status read = fs.ReadPage(from, bytes, &info);
  return read ? fs.CreateFile(to, *bytes, info.facts.mode & 0666) : read;
}

// A page replaced the way the write policy says, as the update run does it.
Status Replace(FileSystem& fs, const std::string& path, const std::string& bytes) {
  std::string old, temp;
  FileInfo info;
  Status status = fs.ReadPage(path, &old, &info);
  if (!status) return status;
  const WriteWay way = DecideWrite(info.facts);
  if (way == WriteWay::kRefuse) return Status::FromErrno(EACCES, path);
  if (way != WriteWay::kInPlace) status = fs.WriteTemp(info, bytes, &temp);
  if (status.code() == Code::kOwnerNotGiven && way == WriteWay::kRenameElseInPlace) status = {};
  if (status) status = temp.empty() ? fs.WriteInPlace(info, bytes) : fs.PutInPlace(temp, info);
  return status;
}

TEST(PosixFileSystem, ProbeCountsOnlyRegularFilesLinksFollowed) {
  TempSite site({{"page.htm", "x"}});
  ::mkdir("folder", 0755);
  ASSERT_EQ(::symlink("page.htm", "good-link"), 0);
  ASSERT_EQ(::symlink("missing.htm", "broken-link"), 0);
  PosixFileSystem fs;
  EXPECT_EQ(Found(fs, "page.htm"), Probe::kFile);
  EXPECT_EQ(Found(fs, "good-link"), Probe::kFile);
  EXPECT_EQ(Found(fs, "folder"), Probe::kAbsent);
  EXPECT_EQ(Found(fs, "broken-link"), Probe::kAbsent);
  EXPECT_EQ(Found(fs, "missing.htm"), Probe::kAbsent);
  EXPECT_EQ(Found(fs, "page.htm/below"), Probe::kAbsent);
}

TEST(PosixFileSystem, ReadsFilesOfEverySize) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{200001}}) {
    std::string content(size, 'x');
    for (size_t i = 0; i < size; i += 7) content[i] = static_cast<char>(i % 251);
    TempSite site({{"page.htm", content}});
    PosixFileSystem fs;
    std::string bytes = "stale";
    ASSERT_TRUE(fs.ReadFile("page.htm", &bytes));
    EXPECT_EQ(bytes, content) << size;
  }
}

TEST(PosixFileSystem, ReadRefusesWhatIsNotARegularFile) {
  TempSite site({{"empty.htm", ""}, {"page.htm", std::string("a\0b\r\n", 5)}});
  ::mkdir("folder", 0755);
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);  // would block a naive open
  PosixFileSystem fs;
  std::string bytes = "stale";
  EXPECT_TRUE(fs.ReadFile("empty.htm", &bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_TRUE(fs.ReadFile("page.htm", &bytes));
  EXPECT_EQ(bytes, std::string("a\0b\r\n", 5));
  for (const char* path : {"folder", "fifo", "missing.htm", ""}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(fs.ReadFile(path, &bytes));
  }
}

// Both ways of making a new file: unnamed and linked into place, and the named temporary file
// used where unnamed files are not supported.
TEST(PosixFileSystem, CopyNewNeverOverwritesAndLeavesNoTemporaryFile) {
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    TempSite site({{"page.htm", "new"}, {"taken.htm", "old"}});
    ::mkdir("folder", 0755);
    ::chmod("page.htm", 0640);
    PosixFileSystem fs(unnamed);
    std::string bytes;
    EXPECT_TRUE(Copy(fs, "page.htm", "copy.htm", &bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(TempSite::Read("copy.htm"), "new");
    EXPECT_EQ(ModeOf("copy.htm"), 0640u);
    const Status taken = Copy(fs, "page.htm", "taken.htm", &bytes);
    EXPECT_EQ(taken.error(), EEXIST);
    EXPECT_EQ(taken.path(), "taken.htm");
    EXPECT_EQ(TempSite::Read("taken.htm"), "old");
    EXPECT_EQ(Copy(fs, "page.htm", "no-such-folder/copy.htm", &bytes).code(), Code::kNotFound);
    EXPECT_EQ(Copy(fs, "missing.htm", "copy2.htm", &bytes).path(), "missing.htm");
    EXPECT_EQ(Copy(fs, "folder", "copy3.htm", &bytes).error(), EISDIR);
    EXPECT_FALSE(TempSite::Exists("copy2.htm"));
    EXPECT_FALSE(TempSite::Exists("copy3.htm"));
    EXPECT_FALSE(AnyTempFile(site));
  }
}

// A link planted at the names the temporary files will get is never followed: the page is
// written, the link's target keeps its bytes.
TEST(PosixFileSystem, TemporaryFilesNeverFollowAPlantedLink) {
  for (bool unnamed : {true, false}) {
    TempSite site({{"page.htm", "old"}, {"victim.htm", "victim"}});
    const std::string tail = std::string(kTempMarker) + std::to_string(::getpid()) + "-";
    for (int n = 0; n < 6; ++n) {
      for (const char* name : {".page.htm", ".copy.htm"}) {
        ASSERT_EQ(::symlink("victim.htm", (name + tail + std::to_string(n)).c_str()), 0);
      }
    }
    PosixFileSystem fs(unnamed);
    EXPECT_TRUE(Replace(fs, "page.htm", "new"));
    std::string bytes;
    EXPECT_TRUE(Copy(fs, "page.htm", "copy.htm", &bytes));
    EXPECT_EQ(TempSite::Read("page.htm"), "new");
    EXPECT_EQ(TempSite::Read("copy.htm"), "new");
    EXPECT_EQ(TempSite::Read("victim.htm"), "victim");
  }
}

TEST(PosixFileSystem, ReplaceKeepsModeAndWritesThroughASymlink) {
  TempSite site({{"page.htm", "old"}, {"sub/target.htm", "old target"}});
  ASSERT_EQ(::symlink("sub/target.htm", "link.htm"), 0);
  PosixFileSystem fs;
  const mode_t old_umask = ::umask(022);
  for (mode_t mode : {0640, 0666, 0755, 0600, 0200}) {
    ::chmod("page.htm", mode);
    EXPECT_TRUE(Replace(fs, "page.htm", "new " + std::to_string(mode)));
    EXPECT_EQ(TempSite::Read("page.htm"), "new " + std::to_string(mode));
    EXPECT_EQ(ModeOf("page.htm"), mode);
  }
  ::umask(old_umask);

  EXPECT_TRUE(Replace(fs, "link.htm", "new target"));
  struct stat st;
  ASSERT_EQ(::lstat("link.htm", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(TempSite::Read("sub/target.htm"), "new target");
  EXPECT_FALSE(AnyTempFile(site));
}

TEST(PosixFileSystem, ReplaceRefusesMissingFilesAndFolders) {
  TempSite site;
  ::mkdir("folder", 0755);
  PosixFileSystem fs;
  EXPECT_FALSE(Replace(fs, "missing.htm", "x"));
  EXPECT_FALSE(Replace(fs, "folder", "x"));
  EXPECT_FALSE(Replace(fs, "", "x"));
  EXPECT_FALSE(TempSite::Exists("missing.htm"));
}

// A write that fails half way (here: the file size limit, as a full disk would) leaves the
// page with its old bytes and no temporary file.
TEST(PosixFileSystem, FailedReplaceKeepsOldBytesAndRemovesTheTemporaryFile) {
  TempSite site({{"page.htm", "old bytes"}, {"big.htm", std::string(100000, 'b')}});
  PosixFileSystem fs;
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status replaced = Replace(fs, "page.htm", std::string(100000, 'x'));
  std::string bytes;
  const Status copied = Copy(fs, "big.htm", "copy.htm", &bytes);
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(replaced);
  EXPECT_FALSE(copied);
  EXPECT_EQ(replaced.path(), "page.htm");  // the page, never the temporary file's name
  EXPECT_EQ(copied.path(), "copy.htm");
  EXPECT_EQ(TempSite::Read("page.htm"), "old bytes");
  EXPECT_FALSE(TempSite::Exists("copy.htm"));  // never a partial backup copy
  EXPECT_FALSE(AnyTempFile(site));
}

// A backup copy holds the bytes read, whether the kernel copied the file or the bytes were
// written because it had changed since the read (in size, in place with its time put back,
// by a rename) or had only just been written.
TEST(PosixFileSystem, CopyFileHoldsTheBytesRead) {
  struct Row {
    const char* name;
    std::string content;
    std::function<void(const std::string& page)> after_read;
  };
  const std::string big(200001, 'b');
  const std::vector<Row> rows = {
      {"unchanged", "old bytes\n", nullptr},
      {"unchanged and large", big, nullptr},
      {"empty", "", nullptr},
      {"rewritten", "old bytes\n",
       [](const std::string& page) { TempSite::Write(page, "new bytes\nmore\n"); }},
      {"rewritten, its time put back", "old bytes\n",
       [](const std::string& page) {
         struct stat st;
         ASSERT_EQ(::stat(page.c_str(), &st), 0);
         TempSite::Write(page, "NEW BYTES\n");
         const struct timespec times[2] = {st.st_atim, st.st_mtim};
         ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), times, 0), 0);
       }},
      {"cut short", big,
       [](const std::string& page) { ASSERT_EQ(::truncate(page.c_str(), 10), 0); }},
      {"renamed over", "old bytes\n",
       [](const std::string& page) {
         TempSite::Write("other.htm", "other bytes\n");
         ASSERT_EQ(::rename("other.htm", page.c_str()), 0);
       }},
      {"removed", "old bytes\n",
       [](const std::string& page) { ASSERT_EQ(::unlink(page.c_str()), 0); }},
  };
  TempSite site;
  const auto page_of = [](size_t row, bool unnamed) {
    return "page" + std::to_string(row) + (unnamed ? "u" : "n") + ".htm";
  };
  for (bool unnamed : {true, false}) {
    for (size_t i = 0; i < rows.size(); ++i) TempSite::Write(page_of(i, unnamed), rows[i].content);
  }
  // Pages written just now are written, not copied: they must settle for the copy to be used.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  for (bool unnamed : {true, false}) {
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      SCOPED_TRACE(std::string(row.name) + (unnamed ? ", unnamed" : ", named"));
      const std::string page = page_of(i, unnamed), backup = "backup-" + page;
      PosixFileSystem fs(unnamed);
      std::string bytes;
      FileInfo info;
      ASSERT_TRUE(fs.ReadPage(page, &bytes, &info));
      if (row.after_read) row.after_read(page);
      ASSERT_TRUE(fs.CopyFile(info, backup, bytes, 0640));
      EXPECT_EQ(TempSite::Read(backup), row.content);
      EXPECT_EQ(ModeOf(backup) & 0600, 0600u);
    }
  }
  EXPECT_FALSE(AnyTempFile(site));
}

}  // namespace
}  // namespace splicery
