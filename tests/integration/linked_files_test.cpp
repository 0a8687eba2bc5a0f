// Configured files that are symbolic links: the server runs as root, so a
// link at a path it writes could hand it any file. Each write through a link
// is refused with 500 naming the path, and neither the link nor its target
// changes.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/RulesFixture.h"

namespace {

using harness::HttpReply;
using harness::readFile;
using harness::StandIns;
using harness::writeFile;

// What each link's target holds: a rule, so that the route that deletes it
// gets as far as writing.
const char kTargetText[] = "alert tcp any any (sid:1; rev:1;)\n";

// A route that writes the file of `key`.
struct Writer {
  const char* key;
  const char* method;
  const char* path;
  const char* body;
};
const Writer kWriters[] = {
    {"tmp_rule_file", "POST", "/rules/validate/",
     R"j({"content":"alert tcp any any -> any any (msg:\"x\"; sid:7; rev:1;)"})j"},
    {"rules_file", "POST", "/rules/delete/",
     R"j({"content":"alert tcp any any (sid:1; rev:1;)"})j"},
    {"ioc_domains_lst", "GET", "/ioc/fetch/", ""},
    {"ioc_local_file_name", "GET", "/ioc/filter/7", ""},
};

class LinkedFilesTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    harness::RulesTest::SetUp();
    writeFile(rulesFile(), "alert tcp any any (sid:1; rev:1;)\n");
    writeFile(config_.path("ioc_full_file_name"), "");
    writeFile(config_.path("ioc_local_file_name"),
              R"([{"id":"1","ioc_type":"domain","ioc_value":"a.example","status":true}])");
    folder_ = harness::workDir() + "/files/linked";
    mkdir(folder_.c_str(), 0755);
  }

  // The later tests find the configured paths without links.
  void TearDown() override {
    for (const Writer& w : kWriters) {
      if (isLink(config_.path(w.key))) unlink(config_.path(w.key).c_str());
    }
    harness::RulesTest::TearDown();
  }

  // Replaces the file of `key` with a link to `target`.
  void linkKey(const std::string& key, const std::string& target) {
    const std::string path = config_.path(key);
    unlink(path.c_str());
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
  }

  static bool isLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  }

  std::string folder_;
};

TEST_F(LinkedFilesTest, WriteThroughALinkToAnotherFileIsRefusedNamingThePath) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.key);
    const std::string target = folder_ + "/" + w.key + ".target";
    writeFile(target, kTargetText);
    chmod(target.c_str(), 0600);
    linkKey(w.key, target);
    StandIns::reset();

    const HttpReply reply = harness::httpWith({}, w.method, w.path, w.body);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, config_.path(w.key) + " is a symbolic link");
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(readFile(target), kTargetText);
    EXPECT_TRUE(isLink(config_.path(w.key)));
    for (const std::string& call : StandIns::calls()) {
      EXPECT_EQ(call.find("chown"), std::string::npos) << call;
    }
  }
}

// The scratch file linked to a file that does not exist (a cron folder's
// next job): the rule test created it, as root, holding the request's text.
TEST_F(LinkedFilesTest, ScratchFileLinkedToNothingIsNotCreated) {
  const std::string cronJob = folder_ + "/cron.d-job";
  unlink(cronJob.c_str());
  linkKey("tmp_rule_file", cronJob);
  const HttpReply reply =
      harness::post("/rules/validate/", R"({"content":"* * * * * root touch /tmp/owned"})");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body, scratchFile() + " is a symbolic link");
  EXPECT_NE(access(cronJob.c_str(), F_OK), 0) << "the link's target was created";
  EXPECT_TRUE(StandIns::calls().empty()) << "the rule test ran";
}

// The scratch file the rule test writes is readable by root alone.
TEST_F(LinkedFilesTest, ScratchFileIsCreatedWithMode0600) {
  writeFile(scratchFile(), "old");
  chmod(scratchFile().c_str(), 0644);
  EXPECT_EQ(harness::post("/rules/validate/", std::string(kWriters[0].body)).status, 200);
  struct stat info {};
  ASSERT_EQ(lstat(scratchFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

}  // namespace
