// The feed archive is outside data: archives that unpack far past their size
// (or lie about it), and downloads asked for while one runs. The test build's
// bound on the entry is 4 MiB (PAVORA_FEED_ENTRY_MAX in scripts/test.sh).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "support/EventReplies.h"
#include "support/FeedServer.h"
#include "support/Harness.h"

namespace {

using harness::FeedServer;
using harness::get;
using harness::HttpReply;
using harness::makeZip;
using harness::readFile;
using harness::writeFile;

constexpr uint64_t kTestBound = 4 * 1024 * 1024;

// Feed lines as the feed writes them, repeated to `bytes` bytes: a real
// feed compresses about as well.
std::string feedText(size_t bytes) {
  const std::string line =
      "\"2026-01-01 00:00:00\", \"1\", \"bad.example\", \"domain\", \"botnet_cc\", "
      "\"win.x\", \"\", \"X\", \"\", \"75\", \"\", \"tag\", \"0\", \"reporter\"\n";
  std::string text;
  text.reserve(bytes + line.size());
  while (text.size() < bytes) text += line;
  text.resize(bytes);
  return text;
}

void putLittleEndian32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// `archive` (one entry, no zip64) with the entry's uncompressed size set to
// `declared` in its local header and in the central directory.
std::string withDeclaredSize(std::string archive, uint32_t declared) {
  const size_t local = archive.find(std::string("PK\x03\x04", 4));
  const size_t central = archive.find(std::string("PK\x01\x02", 4));
  EXPECT_NE(local, std::string::npos);
  EXPECT_NE(central, std::string::npos);
  putLittleEndian32(archive, local + 22, declared);
  putLittleEndian32(archive, central + 24, declared);
  return archive;
}

// The names in `folder`.
std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

class FeedBoundsTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    folder_ = harness::workDir() + "/files/feed-bounds";
    mkdir(folder_.c_str(), 0755);
    for (const std::string& name : entriesOf(folder_)) unlink((folder_ + "/" + name).c_str());
    config_.setString("ioc_full_link", FeedServer::url("/full.zip"))
        .setString("ioc_full_file_path", folder_)
        .write();
    writeFile(folder_ + "/full.csv", "previous feed\n");
  }

  FeedServer feed_;
  std::string folder_;
};

// A small archive unpacked whole into memory took the sensor's memory with
// it; a declared size was trusted. Each is refused, the old feed kept, no
// temporary file left.
TEST_F(FeedBoundsTest, ArchiveBombsAreRefusedAndTheOldFeedKept) {
  const std::string bomb = makeZip({{"full.csv", feedText(kTestBound + 1)}});
  ASSERT_LT(bomb.size(), kTestBound / 50) << "the fixture is no bomb";
  const struct {
    const char* what;
    std::string archive;
    const char* logged;
  } cases[] = {
      {"one byte past the bound", bomb, "declares 4194305 bytes, more than the bound of 4194304"},
      {"declares a small size and unpacks past the bound", withDeclaredSize(bomb, 1000),
       "unpacks to at least 4194305 bytes, more than the bound of 4194304"},
      {"declares more than the bound", withDeclaredSize(makeZip({{"full.csv", "a\n"}}), 0x7fffffff),
       "declares 2147483647 bytes, more than the bound of 4194304"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    feed_.setArchive(c.archive);
    const size_t mark = harness::serverLogSize();
    const HttpReply reply = get("/ioc/download/");
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, "Error in unzipFile");
    EXPECT_EQ(readFile(folder_ + "/full.csv"), "previous feed\n");
    EXPECT_EQ(entriesOf(folder_), std::vector<std::string>{"full.csv"});
    EXPECT_TRUE(harness::waitForLog(mark, c.logged)) << harness::serverLogSince(mark);
  }
  // At the bound, the entry is written whole.
  feed_.setArchive(makeZip({{"full.csv", feedText(kTestBound)}}));
  EXPECT_EQ(get("/ioc/download/").status, 200);
  EXPECT_EQ(readFile(folder_ + "/full.csv"), feedText(kTestBound));
}

// Several downloads at once each held an archive and its unpacked feed.
TEST_F(FeedBoundsTest, SecondDownloadWhileOneRunsGets409) {
  config_.setString("ioc_full_link", FeedServer::url("/hang")).write();
  std::future<HttpReply> first =
      std::async(std::launch::async, [] { return get("/ioc/download/"); });
  ASSERT_TRUE(harness::waitFor([this] { return feed_.requests() == 1; }));
  const HttpReply second = get("/ioc/download/");
  EXPECT_EQ(second.status, 409);
  EXPECT_EQ(second.body, "A download is already running");
  harness::expectRulesCorsHeaders(second);
  EXPECT_EQ(feed_.requests(), 1);
  // The stalled one ends at the stall limit; then downloads run again.
  EXPECT_EQ(first.get().body, "Error downloading file");
  config_.setString("ioc_full_link", FeedServer::url("/full.zip")).write();
  feed_.setArchive(makeZip({{"full.csv", "new feed\n"}}));
  EXPECT_EQ(get("/ioc/download/").status, 200);
  EXPECT_EQ(readFile(folder_ + "/full.csv"), "new feed\n");
}

}  // namespace
