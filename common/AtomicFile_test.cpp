// Whole-file replacement: content, mode and links kept, failures named.
#include "common/AtomicFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/atomic-file-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& name : entries()) unlink((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    DIR* folder = opendir(dir_.c_str());
    while (dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(folder);
    return names;
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

TEST_F(AtomicFileTest, NewFileGetsContentAndOrdinaryMode) {
  const std::string path = dir_ + "/new.rules";
  replaceFileAtomically(path, std::string("a\0b\n", 4));
  EXPECT_EQ(read(path), std::string("a\0b\n", 4));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(entries(), std::vector<std::string>{"new.rules"});
}

TEST_F(AtomicFileTest, ReplacedFileKeepsItsModeAndTheLinkToIt) {
  const std::string path = dir_ + "/suricata.yaml";
  const std::string link = dir_ + "/linked.yaml";
  std::ofstream(path) << "old";
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);

  replaceFileAtomically(link, "new\n");
  EXPECT_EQ(read(path), "new\n");
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced by a file";
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(entries().size(), 2u) << "a temporary file was left behind";
}

TEST_F(AtomicFileTest, LongFileNameStillGetsAShortEnoughTemporaryName) {
  const std::string path = dir_ + "/" + std::string(250, 'x');
  replaceFileAtomically(path, "content");
  EXPECT_EQ(read(path), "content");
}

TEST_F(AtomicFileTest, FailureNamesThePathAndLeavesNothing) {
  const std::string path = dir_ + "/missing/file.rules";
  try {
    replaceFileAtomically(path, "x");
    FAIL() << "no error for a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(entries().empty());
}

}  // namespace
