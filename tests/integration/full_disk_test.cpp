// Every route that rewrites a file, run with the rules, the indicator store
// and the generated rule files on a file system that is full: each answers
// with the reason, and every old file stays as it was, with no temporary
// file left beside it.
#include <dirent.h>
#include <json/reader.h>
#include <json/value.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>

#include "common/JsonText.h"
#include "support/Harness.h"

namespace {

using harness::HttpReply;
using harness::TestServer;

using Files = std::map<std::string, std::string>;  // path below the folder -> content

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Every file below `folder` except the filler, by its path below `folder`.
void collectFiles(const std::string& folder, const std::string& below, Files& files) {
  const std::unique_ptr<DIR, DirCloser> dir(opendir((folder + below).c_str()));
  if (!dir) return;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "filler") continue;
    const std::string path = below + "/" + name;
    struct stat info {};
    if (stat((folder + path).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      collectFiles(folder, path, files);
    } else {
      files[path] = harness::readFile(folder + path);
    }
  }
}

Files filesBelow(const std::string& folder) {
  Files files;
  collectFiles(folder, "", files);
  return files;
}

// Whether this process may mount a tmpfs in a mount namespace of its own.
bool canMountPrivately(const std::string& folder) {
  const std::string probe =
      "unshare -m sh -c 'mount -t tmpfs -o size=16k tmpfs \"$0\"' '" + folder + "' >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

// Mounts a small tmpfs on $1 in the new mount namespace, copies the seed
// folder $2 into it, fills what is left, and runs the server in its place.
constexpr char kFullDiskLauncher[] =
    "mount -t tmpfs -o size=256k tmpfs \"$1\" && cp -a \"$2\"/. \"$1\"/ && "
    "{ dd if=/dev/zero of=\"$1\"/filler bs=4k >/dev/null 2>&1; true; } && "
    "shift 2 && exec \"$@\"";

// The feed's form of the UTC time one hour ago.
std::string anHourAgo() {
  const time_t when = time(nullptr) - 3600;
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string objectText(std::initializer_list<std::pair<const char*, Json::Value>> members) {
  Json::Value object(Json::objectValue);
  for (const auto& [name, value] : members) object[name] = value;
  return json_text::write(object);
}

class FullDiskTest : public harness::IntegrationTest {};

// A full disk must not cost an old file: the edits once rewrote files in
// place, so a failed write left them truncated.
TEST_F(FullDiskTest, EveryRewriteFailsWithItsReasonAndKeepsTheOldFiles) {
  const std::string full = harness::workDir() + "/full";
  const std::string seed = harness::workDir() + "/full-seed";
  mkdir(full.c_str(), 0755);
  if (!canMountPrivately(full)) {
    GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace (needs CAP_SYS_ADMIN)";
  }

  const std::string ruleA = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
  const std::string ruleB = "drop udp any any -> any any (msg:\"b\"; sid:2; rev:1;)";
  const std::string newRule = "alert icmp any any -> any any (msg:\"new\"; sid:3; rev:1;)";
  const Files seeded = {
      {"/suricata.rules", ruleA + "\n" + ruleB + "\n"},
      {"/additional.rules", "drop dns any any -> any any (msg:\"social media\"; sid:9; rev:1;)\n"},
      {"/ioc/threats.json",
       R"([{"id":"1","ioc_type":"domain","ioc_value":"a.example","status":true,"uid":1,"uniq_id":"1"},)"
       R"({"id":"2","ioc_type":"url","ioc_value":"http://u.example/x","status":true,"uid":1,"uniq_id":"1"}])"},
      {"/ioc/domains.lst", "old list\n"},
      {"/ioc/domains.rules", "old domain rule\n"},
      {"/ioc/urls.rules", "old url rules\n"},
      {"/ioc/ips.rules", "old address rules\n"},
  };
  for (const auto& [path, content] : seeded) harness::writeFile(seed + path, content);
  config_.setString("rules_file", full + "/suricata.rules")
      .setString("additional_rules", full + "/additional.rules")
      .setString("ioc_local_file_name", full + "/ioc/threats.json")
      .setString("ioc_domains_lst", full + "/ioc/domains.lst")
      .setString("ioc_domain_rules", full + "/ioc/domains.rules")
      .setString("ioc_url_rules", full + "/ioc/urls.rules")
      .setString("ioc_ip_rules", full + "/ioc/ips.rules")
      .write();
  harness::writeFile(config_.path("ioc_full_file_name"),
                     anHourAgo() + ",5,n.example,domain,botnet_cc,win.x,,X,,75,,tag,0,reporter\n");

  struct Restart {
    ~Restart() {
      TestServer::stop();
      TestServer::start();
    }
  } restart;
  TestServer::stop();
  TestServer::startUnder({"unshare", "-m", "sh", "-c", kFullDiskLauncher, "sh", full, seed});
  // The server's own view of the folder: the tmpfs exists only in its namespace.
  const std::string seen = "/proc/" + std::to_string(TestServer::pid()) + "/root" + full;
  ASSERT_EQ(filesBelow(seen), seeded);

  Json::Value found;
  Json::Reader().parse(harness::get("/ioc/ioc_id/1").body, found);
  const std::string uid = found[0]["uniq_id"].asString();
  ASSERT_FALSE(uid.empty());

  struct Case {
    const char* what;
    const char* method;
    const char* path;
    std::string body;
    long status;  // /ioc/fetch/ answers all its failures with 400
    const char* file;
  };
  const Case cases[] = {
      {"rule toggle", "POST", "/rules/toggle/", objectText({{"content", ruleA}}), 500,
       "/suricata.rules"},
      {"rule add", "POST", "/rules/add/", objectText({{"content", newRule}}), 500,
       "/suricata.rules"},
      {"rule delete", "POST", "/rules/delete/", objectText({{"content", ruleB}}), 500,
       "/suricata.rules"},
      {"rule update", "POST", "/rules/update/",
       R"json({"rule":{"content":"rev:1;)"},"new_rule":{"content":"rev:2;)"}})json", 500,
       "/suricata.rules"},
      {"categories", "POST", "/rules/additional/update/", R"({"social":false})", 500,
       "/additional.rules"},
      {"store rebuild", "GET", "/ioc/filter/7", "", 500, "/ioc/threats.json"},
      {"indicator switch", "POST", "/ioc/toggle/", objectText({{"content", uid}}), 500,
       "/ioc/threats.json"},
      {"rule generation", "GET", "/ioc/fetch/", "", 400, "/ioc/domains.lst"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HttpReply reply = harness::http(c.method, c.path, c.body);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    EXPECT_NE(reply.body.find(full + c.file + ": No space left on device"), std::string::npos)
        << reply.body;
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(filesBelow(seen), seeded) << "an old file changed or a temporary file stayed";
  }
}

}  // namespace
