// Atomic file replacement: content, mode, owner, links and failures.
#include "common/AtomicFile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "common/NoFollow.h"

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

// A link at the path, to a file or to one that does not exist yet, was
// followed: the root-run server wrote wherever the link pointed.
TEST_F(AtomicFileTest, RefusesALinkAndWritesNothingThroughIt) {
  const std::string target = dir_ + "/target.rules";
  std::ofstream(target) << "old";
  const struct {
    const char* link;
    const char* pointsAt;
  } cases[] = {{"link.rules", "target.rules"}, {"dangling.rules", "absent.rules"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    const std::string link = dir_ + "/" + c.link;
    ASSERT_EQ(symlink(c.pointsAt, link.c_str()), 0);
    try {
      replaceFileAtomically(link, "new");
      ADD_FAILURE() << "no error";
    } catch (const SymbolicLinkError& e) {
      EXPECT_EQ(std::string(e.what()), link + " is a symbolic link");
    }
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
  }
  EXPECT_EQ(read(target), "old");
  EXPECT_NE(access((dir_ + "/absent.rules").c_str(), F_OK), 0) << "the link's target was created";
  EXPECT_EQ(entries().size(), 3u) << "a temporary file was left behind";
}

// Leftovers of replacements killed mid-write go; files one character from
// that name, and the replacements of other files, stay.
TEST_F(AtomicFileTest, RemovesLeftoverFilesOfAPathAndNothingElse) {
  const std::string path = dir_ + "/suricata.rules";
  const char* const leftovers[] = {".suricata.rules.a1B2c3", ".suricata.rules.ZZZZZZ"};
  const char* const kept[] = {
      "suricata.rules",         ".suricata.rules.a1B2c",  ".suricata.rules.a1B2c3d",
      ".suricata.rules.a1-2c3", "suricata.rules.a1B2c3",  ".other.rules.a1B2c3",
      ".suricata.rules~",       ".suricata.rulesXa1B2c3",
  };
  for (const char* name : leftovers) std::ofstream(dir_ + "/" + name) << "partial";
  for (const char* name : kept) std::ofstream(dir_ + "/" + name) << "keep";

  EXPECT_EQ(removeLeftoverFiles(path), 2u);

  std::vector<std::string> left = entries();
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected(std::begin(kept), std::end(kept));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
  EXPECT_EQ(removeLeftoverFiles(dir_ + "/missing-folder/x.rules"), 0u);
}

// The temporary name a replacement uses is one that the start's clean-up
// would remove, for a long name as for a short one.
TEST_F(AtomicFileTest, CleanUpKnowsTheNamesOfTheWritersTemporaryFiles) {
  for (const std::string& base : {std::string("rules"), std::string(250, 'x')}) {
    SCOPED_TRACE(base.size());
    const std::string path = dir_ + "/" + base;
    std::string name = dir_ + "/." + base.substr(0, 64) + ".XXXXXX";
    const int fd = mkstemp(name.data());
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(removeLeftoverFiles(path), 1u);
    EXPECT_EQ(entries(), std::vector<std::string>{});
  }
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
