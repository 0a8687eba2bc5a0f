// The start of the server: what earlier runs killed in the middle of a file
// replacement left behind is removed, and nothing else.
#include <unistd.h>

#include <string>
#include <vector>

#include "support/Harness.h"

namespace {

using harness::readFile;
using harness::TestServer;
using harness::writeFile;

// kill -9 during replacements left temporary copies that later starts kept.
TEST(StartCleanupTest, TemporaryFilesOfKilledRunsAreRemovedAtStart) {
  harness::TestConfig config;
  config.write();
  const std::string rules = config.path("rules_file");
  const std::string store = config.path("ioc_local_file_name");
  const std::string folderOfRules = rules.substr(0, rules.rfind('/') + 1);
  const std::string folderOfStore = store.substr(0, store.rfind('/') + 1);
  const std::string rulesName = rules.substr(rules.rfind('/') + 1);
  const std::string storeName = store.substr(store.rfind('/') + 1);
  const std::vector<std::string> leftovers = {
      folderOfRules + "." + rulesName + ".Ab3dE9",
      folderOfStore + "." + storeName + ".x0X0x0",
  };
  // One character off the pattern, or another file's temporary name.
  const std::vector<std::string> kept = {
      rules,
      folderOfRules + "." + rulesName + ".Ab3dE",
      folderOfRules + rulesName + ".Ab3dE9",
      folderOfRules + ".unrelated.rules.Ab3dE9",
  };
  for (const std::string& path : leftovers) writeFile(path, "half a copy");
  for (const std::string& path : kept) writeFile(path, "keep\n");

  const size_t mark = harness::serverLogSize();
  TestServer::restart();
  EXPECT_TRUE(harness::waitForLog(mark, "Removed 2 temporary files left by an earlier run"))
      << harness::serverLogSince(mark);
  for (const std::string& path : leftovers) {
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path << " is still there";
  }
  for (const std::string& path : kept) {
    EXPECT_EQ(readFile(path), "keep\n") << path;
    if (path != rules) unlink(path.c_str());
  }
}

}  // namespace
