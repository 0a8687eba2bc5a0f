// The file cache: each kind of writer is seen by the next read, another path
// lets go of the old parse, and readers that find it stale build it once.
#include "common/FileCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

namespace {

// A parse that keeps the text and counts how often it was built.
struct Copy {
  explicit Copy(file_cache::FileText bytes) : text(bytes.view()) { ++builds; }
  std::string_view source() const { return text; }
  std::string text;
  static std::atomic<int> builds;
};
std::atomic<int> Copy::builds{0};

class FileCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "file_cache_XXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    path_ = dir_ + "/rules";
    Copy::builds = 0;
  }
  void TearDown() override {
    unlink(path_.c_str());
    unlink((path_ + ".new").c_str());
    unlink((dir_ + "/other").c_str());
    rmdir(dir_.c_str());
  }

  static void writeInPlace(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  // Sets the modification time to `seconds` after the epoch, as a writer in
  // one timestamp tick with the previous one would leave it.
  static void setModified(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  std::string dir_;
  std::string path_;
};

TEST_F(FileCacheTest, InPlaceRewriteOfTheSameSizeInTheSameTickIsSeen) {
  file_cache::FileCache<Copy> cache;
  const time_t tick = time(nullptr);
  const char* texts[] = {"alert one\n", "alert two\n"};
  for (int round = 0; round < 40; ++round) {
    const std::string text = texts[round % 2];
    writeInPlace(path_, text);
    setModified(path_, tick);
    EXPECT_EQ(cache.get(path_)->text, text) << "round " << round;
  }
}

TEST_F(FileCacheTest, RenameOverTheFileIsSeen) {
  file_cache::FileCache<Copy> cache;
  for (int round = 0; round < 20; ++round) {
    const std::string text = "rule " + std::to_string(round % 2) + "\n";
    writeInPlace(path_ + ".new", text);
    ASSERT_EQ(std::rename((path_ + ".new").c_str(), path_.c_str()), 0);
    EXPECT_EQ(cache.get(path_)->text, text) << "round " << round;
  }
}

TEST_F(FileCacheTest, UnchangedOldFileIsServedWithoutReading) {
  file_cache::FileCache<Copy> cache(std::chrono::nanoseconds(0));
  writeInPlace(path_, "alert\n");
  const auto first = cache.get(path_);
  EXPECT_EQ(cache.get(path_), first);
  EXPECT_EQ(Copy::builds, 1);
  EXPECT_EQ(cache.statistics().hits, 1u);
  EXPECT_EQ(cache.statistics().rebuilds, 1u);
}

TEST_F(FileCacheTest, RecentFileIsComparedByContentAndKept) {
  file_cache::FileCache<Copy> cache;
  writeInPlace(path_, "alert\n");
  const auto first = cache.get(path_);
  EXPECT_EQ(cache.get(path_), first) << "same content must not be parsed again";
  EXPECT_EQ(Copy::builds, 1);
  EXPECT_EQ(cache.statistics().contentChecks, 1u);
}

TEST_F(FileCacheTest, AnotherPathOrAMissingFileLetsGoOfTheParse) {
  file_cache::FileCache<Copy> cache;
  writeInPlace(path_, "first\n");
  writeInPlace(dir_ + "/other", "second\n");
  std::weak_ptr<const Copy> first = cache.get(path_);
  EXPECT_EQ(cache.get(dir_ + "/other")->text, "second\n");
  EXPECT_TRUE(first.expired());

  std::weak_ptr<const Copy> second = cache.get(dir_ + "/other");
  unlink((dir_ + "/other").c_str());
  EXPECT_THROW(cache.get(dir_ + "/other"), file_cache::OpenError);
  EXPECT_TRUE(second.expired());
}

TEST_F(FileCacheTest, ReadersThatFindItStaleBuildItOnce) {
  file_cache::FileCache<Copy> cache(std::chrono::nanoseconds(0));
  writeInPlace(path_, std::string(1 << 20, 'x'));
  std::vector<std::thread> readers;
  for (int i = 0; i < 8; ++i) {
    readers.emplace_back([&] { EXPECT_EQ(cache.get(path_)->text.size(), 1u << 20); });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(Copy::builds, 1);
}

}  // namespace
