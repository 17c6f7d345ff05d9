// SPDX-License-Identifier: GPL-3.0-or-later
// Reading ahead never hands over bytes older than the program's own last change of a file,
// whatever order the caller reads in; and it does read ahead.
#include "files/read_ahead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "files/posix_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

// Files in memory, each with an identity; a missing one fails to read.
class Disk {
 public:
  explicit Disk(size_t files) {
    for (size_t i = 0; i < files; ++i) Write("f" + std::to_string(i), "old " + std::to_string(i));
  }
  void Write(const std::string& path, std::string bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = std::move(bytes);
  }
  void Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.erase(path);
  }
  std::string Bytes(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) ? files_[path] : "";
  }
  static FileKey Key(const std::string& path) { return {1, std::hash<std::string>{}(path)}; }
  size_t reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  ReadAhead::Reader Reader() {
    return [this](const std::string& path, std::string* bytes, FileInfo* info) {
      std::lock_guard lock(mutex_);
      ++reads_;
      info->key = Key(path);
      if (!files_.count(path)) return Status::FromErrno(ENOENT, path);
      *bytes = files_[path];
      return Status();
    };
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  size_t reads_ = 0;
};

// Waits until the thread has read `count` files (it reads ahead on its own).
bool ReadsReach(Disk& disk, size_t count) {
  for (int i = 0; i < 2000 && disk.reads() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return disk.reads() >= count;
}

// The reading thread's work: what it saw.
struct Seen : ReadWork {
  explicit Seen(std::string_view bytes) : bytes(bytes) {}
  std::string bytes;
};

TEST(ReadAhead, NeverHandsOverBytesOlderThanTheProgramsOwnChange) {
  // Each step: the path the caller reads next, and what the program changes just before.
  enum class Change { kNone, kBytes, kAny, kRemove, kCreate };
  struct Step {
    std::string path;
    Change change = Change::kNone;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } kCases[] = {
      {"in order", {{"f0"}, {"f1"}, {"f2"}, {"f3"}}},
      {"the same file again, then on", {{"f0"}, {"f0"}, {"f1"}, {"f2"}}},
      {"skipping some", {{"f0"}, {"f3"}, {"f9"}, {"f10"}}},
      {"one not in the order", {{"f0"}, {"x"}, {"f1"}}},
      {"changed after its read ahead", {{"f0"}, {"f2", Change::kBytes}, {"f3"}}},
      {"everything changed", {{"f0"}, {"f1", Change::kAny}, {"f2", Change::kAny}}},
      {"removed after its read ahead", {{"f0"}, {"f1", Change::kRemove}, {"f2"}}},
      {"read again after its change", {{"f0"}, {"f0", Change::kBytes}, {"f1"}}},
      // A new name changes no file read before: only a read that failed can see it.
      {"made after its read failed", {{"f0"}, {"f1"}, {"new", Change::kCreate}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Disk disk(40);
    std::vector<std::string> order;
    for (size_t i = 0; i < 40; ++i) order.push_back("f" + std::to_string(i));
    order.insert(order.begin() + 2, "new");
    ReadAhead ahead(order, disk.Reader(),
                    [](std::string_view bytes) { return std::make_unique<Seen>(bytes); });
    ASSERT_TRUE(ReadsReach(disk, 8));  // it reads ahead before anyone asks
    std::string bytes = "caller's buffer";
    for (const Step& step : c.steps) {
      if (step.change == Change::kBytes) {
        disk.Write(step.path, "new " + step.path);
        ahead.Changed(Disk::Key(step.path));
      } else if (step.change == Change::kAny) {
        disk.Write(step.path, "new " + step.path);
        ahead.ChangedAny();
      } else if (step.change == Change::kCreate) {
        disk.Write(step.path, "made");
      } else if (step.change == Change::kRemove) {
        disk.Remove(step.path);
        ahead.Changed(Disk::Key(step.path));
      }
      FileInfo info;
      std::unique_ptr<ReadWork> work;
      if (ahead.Take(step.path, &bytes, &info, &work)) {
        EXPECT_EQ(bytes, disk.Bytes(step.path)) << step.path;
        EXPECT_EQ(info.key, Disk::Key(step.path));
        // Work comes only with the bytes it was done on; the thread did it on f0 at least.
        if (work) {
          EXPECT_EQ(dynamic_cast<Seen&>(*work).bytes, bytes) << step.path;
        } else {
          EXPECT_NE(step.path, "f0");
        }
      }
    }
  }
}

// Where the caller read on itself while it waited, the thread does the work on those files
// afterwards, and each file's work comes with the bytes it was done on.
TEST(ReadAhead, FilesTheCallerReadAreWorkedOnByTheThread) {
  Disk disk(40);
  std::vector<std::string> order;
  for (size_t i = 0; i < 40; ++i) order.push_back("f" + std::to_string(i));
  std::atomic<bool> first_done = false;
  std::atomic<size_t> works = 0;
  ReadAhead ahead(order, disk.Reader(), [&](std::string_view bytes) {
    while (bytes == "old 0" && !first_done) std::this_thread::yield();
    ++works;
    return std::make_unique<Seen>(bytes);
  });
  ASSERT_TRUE(ReadsReach(disk, 1));  // the thread has begun f0
  std::thread release([&] {
    ReadsReach(disk, 10);  // the caller, waiting for f0, reads on (within the window)
    first_done = true;
  });
  std::string bytes;
  FileInfo info;
  std::unique_ptr<ReadWork> work;
  const bool took = ahead.Take("f0", &bytes, &info, &work);
  release.join();
  ASSERT_TRUE(took);
  // Time to work on those first (f0 and the caller's 9 at least).
  for (int i = 0; i < 2000 && works < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  size_t worked = 0;
  for (size_t i = 1; i < 40; ++i) {
    work.reset();
    if (!ahead.Take(order[i], &bytes, &info, &work)) continue;
    EXPECT_EQ(bytes, disk.Bytes(order[i]));
    if (work) {
      EXPECT_EQ(dynamic_cast<Seen&>(*work).bytes, bytes) << order[i];
      ++worked;
    }
  }
  EXPECT_GE(worked, 9u);
}

// The work's memory counts with the bytes read ahead: work as large as the bound stops the
// thread until the caller takes it.
TEST(ReadAhead, LargeWorkStopsTheThreadUntilTaken) {
  struct Large : ReadWork {
    size_t Size() const override { return size_t{64} << 20; }
  };
  Disk disk(40);
  std::vector<std::string> order;
  for (size_t i = 0; i < 40; ++i) order.push_back("f" + std::to_string(i));
  ReadAhead ahead(order, disk.Reader(), [](std::string_view) { return std::make_unique<Large>(); });
  std::string bytes;
  FileInfo info;
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(ReadsReach(disk, i + 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // time to read on, wrongly
    EXPECT_EQ(disk.reads(), i + 1);
    EXPECT_TRUE(ahead.Take(order[i], &bytes, &info));
  }
}

// On the real disk: whatever the program does itself to a page it has read ahead, the page's
// read afterwards gives its bytes and facts as they are now.
TEST(ReadAhead, ThePosixFileSystemReadsAgainWhatItChangedItself) {
  const struct {
    const char* name;
    std::function<Status(FileSystem&, const FileInfo&)> change;
  } kCases[] = {
      {"written in place",
       [](FileSystem& fs, const FileInfo& p) { return fs.WriteInPlace(p, "new 5"); }},
      {"replaced by rename",
       [](FileSystem& fs, const FileInfo& p) {
         std::string temp;
         Status written = fs.WriteTemp(p, "new bytes 5", &temp);
         return written ? fs.PutInPlace(temp, p) : written;
       }},
      {"appended to", [](FileSystem& fs, const FileInfo& p) { return fs.AppendFile(p.path, "+"); }},
      {"removed", [](FileSystem& fs, const FileInfo& p) { return fs.RemoveFile(p.path); }},
      {"linked", [](FileSystem& fs, const FileInfo& p) { return fs.LinkFile(p, p.path + ".bak"); }},
      {"removed as a killed run's leftover",
       [](FileSystem& fs, const FileInfo&) {
         fs.RemoveLeftovers(".");
         return Status();
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> order;
    testing::Files files;
    for (size_t i = 0; i < 10; ++i) {
      // The page changed has a name a killed run's temporary file could have.
      order.push_back(i == 5 ? ".p5.splicery-tmp-1-1" : "p" + std::to_string(i));
      files[order.back()] = "old " + std::to_string(i);
    }
    testing::TempSite site(files);
    PosixFileSystem fs;
    FileInfo five;
    ASSERT_TRUE(fs.Describe(order[5], &five));
    const ReadingAhead ahead(fs, order, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // time to read them all
    ASSERT_TRUE(c.change(fs, five));
    for (const std::string& page : order) {
      std::string bytes;
      FileInfo info;
      const Status read = fs.ReadPage(page, &bytes, &info);
      struct stat st {};
      ASSERT_EQ(read.ok(), ::stat(page.c_str(), &st) == 0) << page;
      if (!read) continue;
      EXPECT_EQ(bytes, testing::TempSite::Read(page)) << page;
      EXPECT_EQ(info.facts.links, st.st_nlink) << page;
      EXPECT_EQ(info.key, (FileKey{st.st_dev, st.st_ino})) << page;
    }
  }
}

}  // namespace
}  // namespace splicery
