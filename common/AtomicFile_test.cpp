// Atomic file replacement: content, mode, owner, links and failures.
#include "common/AtomicFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "atomic_file_XXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
  }
  void TearDown() override {
    for (const std::string& name : entries()) unlink((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(opendir(dir_.c_str()));
    while (dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    return names;
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::string dir_;
};

TEST_F(AtomicFileTest, ReplacesContentAndKeepsModeAndOwner) {
  const std::string path = dir_ + "/rules";
  std::ofstream(path) << "old content that is longer\n";
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path.c_str(), 1234, 4321), 0);
  }

  replaceFileAtomically(path, "new\n");

  EXPECT_EQ(read(path), "new\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 4321u);
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"rules"}) << "a temporary file was left behind";
}

TEST_F(AtomicFileTest, CreatesAMissingFile) {
  const std::string path = dir_ + "/new.rules";
  replaceFileAtomically(path, "");
  EXPECT_EQ(read(path), "");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(AtomicFileTest, ReplacesTheTargetOfALinkAndKeepsTheLink) {
  const std::string target = dir_ + "/target.rules";
  const std::string link = dir_ + "/link.rules";
  std::ofstream(target) << "old";
  ASSERT_EQ(symlink("target.rules", link.c_str()), 0);

  replaceFileAtomically(link, "new");

  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(read(target), "new");
}

TEST_F(AtomicFileTest, LongFileNameStillGetsAShortEnoughTemporaryName) {
  const std::string path = dir_ + "/" + std::string(250, 'x');
  replaceFileAtomically(path, "content");
  EXPECT_EQ(read(path), "content");
}

TEST_F(AtomicFileTest, FailureNamesThePathAndLeavesNoTrace) {
  const std::string path = dir_ + "/missing-folder/rules";
  try {
    replaceFileAtomically(path, "x");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
  }
  // Renaming over a folder fails after the temporary file was written.
  const std::string folder = dir_ + "/folder";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  EXPECT_THROW(replaceFileAtomically(folder, "x"), std::runtime_error);
  EXPECT_EQ(entries(), std::vector<std::string>{"folder"});
  rmdir(folder.c_str());
}

}  // namespace
