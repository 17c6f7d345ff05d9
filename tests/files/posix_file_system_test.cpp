#include "files/posix_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::TempSite;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

bool AnyTempFile(const TempSite& site) {
  for (const std::string& path : site.ListFiles()) {
    if (path.find(kTempMarker) != std::string::npos) return true;
  }
  return false;
}

TEST(PosixFileSystem, ProbeCountsOnlyRegularFilesLinksFollowed) {
  TempSite site({{"page.htm", "x"}});
  ::mkdir("folder", 0755);
  ASSERT_EQ(::symlink("page.htm", "good-link"), 0);
  ASSERT_EQ(::symlink("missing.htm", "broken-link"), 0);
  PosixFileSystem fs;
  EXPECT_EQ(fs.ProbeFile("page.htm"), Probe::kFile);
  EXPECT_EQ(fs.ProbeFile("good-link"), Probe::kFile);
  EXPECT_EQ(fs.ProbeFile("folder"), Probe::kAbsent);
  EXPECT_EQ(fs.ProbeFile("broken-link"), Probe::kAbsent);
  EXPECT_EQ(fs.ProbeFile("missing.htm"), Probe::kAbsent);
  EXPECT_EQ(fs.ProbeFile("page.htm/below"), Probe::kAbsent);
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

TEST(PosixFileSystem, CopyNewNeverOverwritesAndLeavesNoTemporaryFile) {
  TempSite site({{"page.htm", "new"}, {"taken.htm", "old"}});
  ::mkdir("folder", 0755);
  ::chmod("page.htm", 0640);
  PosixFileSystem fs;
  std::string bytes;
  EXPECT_TRUE(fs.CopyNew("page.htm", "copy.htm", &bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_EQ(TempSite::Read("copy.htm"), "new");
  EXPECT_EQ(ModeOf("copy.htm"), 0640u);
  EXPECT_FALSE(fs.CopyNew("page.htm", "taken.htm", &bytes));
  EXPECT_EQ(TempSite::Read("taken.htm"), "old");
  EXPECT_FALSE(fs.CopyNew("page.htm", "no-such-folder/copy.htm", &bytes));
  EXPECT_FALSE(fs.CopyNew("missing.htm", "copy2.htm", &bytes));
  EXPECT_FALSE(fs.CopyNew("folder", "copy3.htm", &bytes));
  EXPECT_FALSE(TempSite::Exists("copy2.htm"));
  EXPECT_FALSE(TempSite::Exists("copy3.htm"));
  EXPECT_FALSE(AnyTempFile(site));
}

TEST(PosixFileSystem, ReplaceKeepsModeAndWritesThroughASymlink) {
  TempSite site({{"page.htm", "old"}, {"sub/target.htm", "old target"}});
  ASSERT_EQ(::symlink("sub/target.htm", "link.htm"), 0);
  PosixFileSystem fs;
  const mode_t old_umask = ::umask(022);
  for (mode_t mode : {0640, 0666, 0444, 0755, 0600}) {
    ::chmod("page.htm", mode);
    EXPECT_TRUE(fs.ReplaceFile("page.htm", "new " + std::to_string(mode)));
    EXPECT_EQ(TempSite::Read("page.htm"), "new " + std::to_string(mode));
    EXPECT_EQ(ModeOf("page.htm"), mode);
  }
  ::umask(old_umask);

  EXPECT_TRUE(fs.ReplaceFile("link.htm", "new target"));
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
  EXPECT_FALSE(fs.ReplaceFile("missing.htm", "x"));
  EXPECT_FALSE(fs.ReplaceFile("folder", "x"));
  EXPECT_FALSE(fs.ReplaceFile("", "x"));
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
  bool replaced = fs.ReplaceFile("page.htm", std::string(100000, 'x'));
  std::string bytes;
  bool copied = fs.CopyNew("big.htm", "copy.htm", &bytes);
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(replaced);
  EXPECT_FALSE(copied);
  EXPECT_EQ(TempSite::Read("page.htm"), "old bytes");
  EXPECT_FALSE(TempSite::Exists("copy.htm"));  // never a partial backup copy
  EXPECT_FALSE(AnyTempFile(site));
}

}  // namespace
}  // namespace splicery
