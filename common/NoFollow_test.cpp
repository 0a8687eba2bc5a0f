// Scratch files and the refusal of links at the paths the server writes.
#include "common/NoFollow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

class NoFollowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "no_follow_XXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  static mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode;
  }

  std::string dir_;
};

// The scratch file of the rule test is created afresh, readable by its
// owner alone, whatever was there before.
TEST_F(NoFollowTest, ScratchFileIsCreatedAfreshWithMode0600) {
  const std::string path = dir_ + "/scratch.rules";
  const std::string before[] = {"", "a much longer earlier rule text than the new one\n"};
  for (const std::string& old : before) {
    SCOPED_TRACE(old.empty() ? "no file before" : "a file before");
    if (!old.empty()) {
      std::ofstream(path) << old;
      ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    }
    writeScratchFile(path, "alert tcp any any -> any any (sid:1;)\n");
    EXPECT_EQ(read(path), "alert tcp any any -> any any (sid:1;)\n");
    EXPECT_EQ(modeOf(path) & 07777, 0600u);
  }
}

// A scratch path linked into a cron folder made the rule test write the
// request's text there as root, creating the file when it did not exist.
TEST_F(NoFollowTest, ScratchFileAtALinkIsRefusedAndNothingIsWritten) {
  const std::string existing = dir_ + "/existing";
  std::ofstream(existing) << "root only";
  for (const char* pointsAt : {"existing", "cron-job-that-does-not-exist"}) {
    SCOPED_TRACE(pointsAt);
    const std::string link = dir_ + "/scratch.rules";
    unlink(link.c_str());
    ASSERT_EQ(symlink(pointsAt, link.c_str()), 0);
    try {
      writeScratchFile(link, "* * * * * root touch /tmp/owned\n");
      ADD_FAILURE() << "no error";
    } catch (const SymbolicLinkError& e) {
      EXPECT_EQ(std::string(e.what()), link + " is a symbolic link");
    }
    EXPECT_TRUE(S_ISLNK(modeOf(link)));
  }
  EXPECT_EQ(read(existing), "root only");
  EXPECT_NE(access((dir_ + "/cron-job-that-does-not-exist").c_str(), F_OK), 0);
}

TEST_F(NoFollowTest, OnlyALinkInTheLastComponentIsRefused) {
  ASSERT_EQ(mkdir((dir_ + "/real").c_str(), 0755), 0);
  ASSERT_EQ(symlink("real", (dir_ + "/folder-link").c_str()), 0);
  ASSERT_EQ(symlink("real/file", (dir_ + "/file-link").c_str()), 0);
  EXPECT_NO_THROW(refuseSymbolicLink(dir_ + "/folder-link/file"));
  EXPECT_NO_THROW(refuseSymbolicLink(dir_ + "/does-not-exist"));
  EXPECT_NO_THROW(refuseSymbolicLink(dir_ + "/real"));
  EXPECT_THROW(refuseSymbolicLink(dir_ + "/file-link"), SymbolicLinkError);
  EXPECT_THROW(refuseSymbolicLink(dir_ + "/folder-link"), SymbolicLinkError);
}

}  // namespace
