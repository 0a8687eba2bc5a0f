// Rule generation from the indicator store (the four files compared byte for
// byte, hostile feed values included) and the switches of the generated rule
// files in Suricata's configuration.
#include <fcntl.h>
#include <json/value.h>
#include <json/writer.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Harness.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::post;
using harness::readFile;
using harness::StandIns;
using harness::writeFile;

// A stored record written by hand from its members; "status" defaults to true.
std::string record(std::initializer_list<std::pair<const char*, std::string>> members,
                   bool status = true) {
  Json::Value object(Json::objectValue);
  for (const auto& [key, value] : members) object[key] = value;
  object["status"] = status;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, object);
}

std::string store(const std::vector<std::string>& records) {
  std::string text = "[";
  for (size_t i = 0; i < records.size(); ++i) text += (i ? "," : "") + records[i];
  return text + "]";
}

const char kSeen[] = "2024-03-01 10:20:30";

class IocRulesTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    store_ = config_.path("ioc_local_file_name");
    domainList_ = config_.path("ioc_domains_lst");
    domainRules_ = config_.path("ioc_domain_rules");
    ipRules_ = config_.path("ioc_ip_rules");
    urlRules_ = config_.path("ioc_url_rules");
    for (const std::string* path : {&domainList_, &domainRules_, &ipRules_, &urlRules_}) {
      writeFile(*path, "previous\n");
    }
  }

  std::string domainRuleFor(const std::string& listPath) const {
    return "drop dns $HOME_NET any -> any any (msg:\"DNS Query to Malicious FQDN PAVORA ver\"; "
           "dns.query; dataset:isset, domains_iocs, type string, load " +
           listPath +
           ", memcap 10mb, hashsize 1024; classtype: trojan-activity; sid:1000000; rev:1;)";
  }

  std::string store_, domainList_, domainRules_, ipRules_, urlRules_;
};

TEST_F(IocRulesTest, FetchWritesTheFourFilesFromEnabledIndicators) {
  writeFile(
      store_,
      store({
          record({{"id", "1"}, {"ioc_type", "domain"}, {"ioc_value", "evil.example"}}),
          record({{"id", "2"},
                  {"ioc_type", "ip:port"},
                  {"ioc_value", "192.0.2.7:443"},
                  {"first_seen_utc", kSeen}}),
          record({{"id", "3"},
                  {"ioc_type", "url"},
                  {"ioc_value", "http://Evil.example:8080/gate.php?x=1"},
                  {"malware_printable", "Foo"},
                  {"threat_type", "payload"},
                  {"confidence_level", "50"},
                  {"first_seen_utc", kSeen}}),
          record({{"id", "4"}, {"ioc_type", "domain"}, {"ioc_value", "off.example"}}, false),
          record({{"id", "5"}, {"ioc_type", "ip:port"}, {"ioc_value", "192.0.2.9:80"}}, false),
          record({{"id", "6"}, {"ioc_type", "md5_hash"}, {"ioc_value", "0123abcd"}}),
          record({{"id", "7"}, {"ioc_type", "ip:port"}, {"ioc_value", "198.51.100.3"}}),  // no port
          record({{"id", "8"},
                  {"ioc_type", "ip:port"},
                  {"ioc_value", "203.0.113.5:8080"},
                  {"malware_printable", "Bar"},
                  {"threat_type", "botnet_cc"},
                  {"confidence_level", "100"},
                  {"first_seen_utc", kSeen}}),
          record({{"id", "9"}, {"ioc_type", "url"}, {"ioc_value", "https://b.example"}}),
          record({{"id", "10"}, {"ioc_type", "domain"}, {"ioc_value", "second.example"}}),
      }));
  const HttpReply reply = get("/ioc/fetch/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "Action was success!");
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""),
            "GET, POST, PUT, DELETE, OPTIONS");

  EXPECT_EQ(readFile(domainList_), "ZXZpbC5leGFtcGxl\nc2Vjb25kLmV4YW1wbGU=\n");
  EXPECT_EQ(readFile(domainRules_), domainRuleFor(domainList_));
  EXPECT_EQ(readFile(ipRules_),
            "drop tcp $HOME_NET any -> [192.0.2.7]  443 (msg:\"Vazo-Pavora:  traffic (ip:port - "
            "confidence level:0 )\"; threshold: type limit, track by_src, seconds 60, count 1; "
            "reference:url, /ioc/2/;target:src_ip; metadata: confidence_level 0, first_seen "
            "2024_03_01_10_20_30; sid:1500000; rev:1;)\n"
            "drop tcp $HOME_NET any -> [203.0.113.5]  8080 (msg:\"Vazo-Pavora:Bar botnet_cc "
            "traffic (ip:port - confidence level:100 )\"; threshold: type limit, track by_src, "
            "seconds 60, count 1; reference:url, /ioc/8/;target:src_ip; metadata: "
            "confidence_level 100, first_seen 2024_03_01_10_20_30; sid:1500001; rev:1;)\n");
  EXPECT_EQ(readFile(urlRules_),
            "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: Foo  "
            "payload traffic (url - confidence level: 50)\"; flow:established, from_client; "
            "http.method; content:\"GET\"; http.uri; content:\"/gate.php\";depth:9; nocase; "
            "http.host; content:\"evil.example\";depth:12; isdataat:!1,relative; "
            "reference:url, /ioc/3/;target:src_ip; metadata: confidence_level 50, first_seen "
            "2024_03_01_10_20_30; classtype:trojan-activity; sid:1500002; rev:1;)\n"
            "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: unknown  "
            "unknown traffic (url - confidence level: 0)\"; flow:established, from_client; "
            "http.method; content:\"GET\"; http.uri; content:\"b.example\";depth:9; nocase; "
            "http.host; content:\"b.example\";depth:9; isdataat:!1,relative; reference:url, "
            "/ioc/9/;target:src_ip; metadata: confidence_level 0, first_seen unknown; "
            "classtype:trojan-activity; sid:1500003; rev:1;)\n");
  EXPECT_EQ(StandIns::calls(),
            std::vector<std::string>{"chown -h suricata:suricata " + domainList_});

  // A second run without changes writes the same bytes.
  const std::string ipBefore = readFile(ipRules_);
  const std::string urlBefore = readFile(urlRules_);
  EXPECT_EQ(get("/ioc/fetch/").status, 200);
  EXPECT_EQ(readFile(ipRules_), ipBefore);
  EXPECT_EQ(readFile(urlRules_), urlBefore);
}

// Feed values are outside data: none may end an option, start another or
// break the line. Escaped where the syntax allows; otherwise no rule and no sid.
TEST_F(IocRulesTest, HostileIndicatorsNeverChangeARulesMeaning) {
  writeFile(
      store_,
      store({
          record({{"id", "20"}, {"ioc_type", "domain"}, {"ioc_value", "x\"; sid:1;\n.example"}}),
          record({{"id", "21"}, {"ioc_type", "ip:port"}, {"ioc_value", "192.0.2.1],[any:80"}}),
          record({{"id", "22"}, {"ioc_type", "ip:port"}, {"ioc_value", "192.0.2.1:http"}}),
          record({{"id", "23"},
                  {"ioc_type", "ip:port"},
                  {"ioc_value", "192.0.2.1:80"},
                  {"malware_printable", "a\nalert ip any any -> any any (sid:9;)"}}),
          record({{"id", "24; sid:7"}, {"ioc_type", "ip:port"}, {"ioc_value", "192.0.2.1:80"}}),
          record({{"id", "25"},
                  {"ioc_type", "ip:port"},
                  {"ioc_value", "192.0.2.2:25"},
                  {"malware_printable", "Q\"uote; semi|pipe\\"},
                  {"threat_type", "t"},
                  {"confidence_level", "90"}}),
          record({{"id", "26"},
                  {"ioc_type", "url"},
                  {"ioc_value", "http://h.example/p\";|x;\r\ny"},
                  {"threat_type", "a;b"},
                  {"confidence_level", "1 2"}}),
          record({{"id", "27"},
                  {"ioc_type", "url"},
                  {"ioc_value", "http://h\"x.example/p|q"},
                  {"first_seen_utc", kSeen}}),
      }));
  const HttpReply reply = get("/ioc/fetch/");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(readFile(domainList_), "eCI7IHNpZDoxOwouZXhhbXBsZQ==\n");
  EXPECT_EQ(readFile(ipRules_),
            "drop tcp $HOME_NET any -> [192.0.2.2]  25 (msg:\"Vazo-Pavora:Q\\\"uote\\; "
            "semi|pipe\\\\ t traffic (ip:port - confidence level:90 )\"; threshold: type limit, "
            "track by_src, seconds 60, count 1; reference:url, /ioc/25/;target:src_ip; "
            "metadata: confidence_level 90, first_seen ; sid:1500000; rev:1;)\n");
  EXPECT_EQ(readFile(urlRules_),
            "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: unknown  "
            "unknown traffic (url - confidence level: 0)\"; flow:established, from_client; "
            "http.method; content:\"GET\"; http.uri; content:\"/p|7C|q\";depth:4; nocase; "
            "http.host; content:\"h|22|x.example\";depth:11; isdataat:!1,relative; "
            "reference:url, /ioc/27/;target:src_ip; metadata: confidence_level 0, first_seen "
            "2024_03_01_10_20_30; classtype:trojan-activity; sid:1500001; rev:1;)\n");
}

TEST_F(IocRulesTest, EmptyStoreStillWritesTheDomainRule) {
  writeFile(store_, "null");
  EXPECT_EQ(get("/ioc/fetch/").status, 200);
  EXPECT_EQ(readFile(domainList_), "");
  EXPECT_EQ(readFile(domainRules_), domainRuleFor(domainList_));
  EXPECT_EQ(readFile(ipRules_), "");
  EXPECT_EQ(readFile(urlRules_), "");
}

// chown is given the path as one argument, whatever it holds: no shell reads it.
TEST_F(IocRulesTest, DomainListPathIsOneArgumentOfChown) {
  const std::string odd = harness::workDir() + "/files/ioc/it's $HOME;x `id` \"a b\".lst";
  config_.setString("ioc_domains_lst", odd).write();
  writeFile(store_, store({record({{"ioc_type", "domain"}, {"ioc_value", "a.example"}})}));
  EXPECT_EQ(get("/ioc/fetch/").status, 200);
  EXPECT_EQ(StandIns::calls(), std::vector<std::string>{"chown -h suricata:suricata " + odd});
  EXPECT_EQ(StandIns::argumentVectors(),
            (std::vector<std::vector<std::string>>{{"chown", "-h", "suricata:suricata", odd}}));
  EXPECT_EQ(readFile(odd), "YS5leGFtcGxl\n");
  EXPECT_EQ(readFile(domainRules_), domainRuleFor(odd));
  unlink(odd.c_str());
}

TEST_F(IocRulesTest, FetchFailuresAnswer400AndStopWhereTheyHappen) {
  writeFile(store_, store({record({{"ioc_type", "domain"}, {"ioc_value", "a.example"}})}));
  StandIns::setExit("chown", 1);
  HttpReply reply = get("/ioc/fetch/");
  EXPECT_EQ(reply.status, 400);
  EXPECT_EQ(reply.body, "system() command failed");
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(readFile(domainList_), "YS5leGFtcGxl\n");
  for (const std::string* path : {&domainRules_, &ipRules_, &urlRules_}) {
    EXPECT_EQ(readFile(*path), "previous\n") << *path;
  }
  StandIns::setExit("chown", 0);

  // A rule file that cannot be written is a failure, not a silent loss.
  const std::string unwritable = harness::workDir() + "/files/nowhere/ips.rules";
  config_.setString("ioc_ip_rules", unwritable).write();
  reply = get("/ioc/fetch/");
  EXPECT_EQ(reply.status, 400);
  EXPECT_NE(reply.body.find(unwritable), std::string::npos) << reply.body;
  EXPECT_EQ(readFile(urlRules_), "previous\n");

  unlink(store_.c_str());
  reply = get("/ioc/fetch/");
  EXPECT_EQ(reply.status, 400);
  EXPECT_EQ(reply.body, "Unable to open IOC file");

  writeFile(store_, "[{");
  EXPECT_EQ(get("/ioc/fetch/").status, 400);

  config_.remove("ioc_url_rules").write();
  EXPECT_EQ(get("/ioc/fetch/").body, "Config setting not found");
}

// ---- Rule-file switches in Suricata's configuration ---------------------------

class IocRuleFilesTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    conf_ = config_.path("suricata_conf");
  }
  std::string conf_;
};

TEST_F(IocRuleFilesTest, StatusListsTheNamedFilesInKeyOrder) {
  struct Case {
    const char* what;
    const char* yaml;
    const char* body;
  };
  const Case cases[] = {
      {"one enabled, one disabled, one absent",
       "rule-files:\n  - suricata.rules\n  - ioc_url.rules\n#  - ioc_ip.rules\n",
       "{\n\t\"ioc_ip.rules\" : false,\n\t\"ioc_url.rules\" : true\n}"},
      {"none named", "rule-files:\n  - suricata.rules\n", "null"},
      {"trailing comment", "  - ioc_domain.rules # generated\n",
       "{\n\t\"ioc_domain.rules\" : false\n}"},
      {"a later line wins", "  - ioc_ip.rules\n#  - ioc_ip.rules\n",
       "{\n\t\"ioc_ip.rules\" : false\n}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(conf_, c.yaml);
    const HttpReply reply = get("/ioc/rules/status/");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, c.body);
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""),
              "GET, POST, PUT, DELETE, OPTIONS");
  }
  unlink(conf_.c_str());
  const HttpReply reply = get("/ioc/rules/status/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "");
}

TEST_F(IocRuleFilesTest, ModifyRewritesOnlyTheLinesThatDisagree) {
  writeFile(conf_,
            "rule-files:\n  - suricata.rules\n  - ioc_domain.rules\n# ioc_ip.rules was here\n"
            "  - ioc_url.rules\nend: 1");
  ASSERT_EQ(chmod(conf_.c_str(), 0640), 0);
  // A name missing from the body counts as switched off.
  HttpReply reply = post("/ioc/rules/modify/", "{\"ioc_ip.rules\": true}");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "Suricata config modyfied.");
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  EXPECT_EQ(readFile(conf_),
            "rule-files:\n  - suricata.rules\n#  - ioc_domain.rules\n  - ioc_ip.rules\n"
            "#  - ioc_url.rules\nend: 1\n");
  struct stat info;
  ASSERT_EQ(stat(conf_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // A body that agrees with the file leaves it untouched, not even rewritten.
  const ino_t inode = info.st_ino;
  reply = post("/ioc/rules/modify/",
               "{\"ioc_ip.rules\": true, \"ioc_url.rules\": false, \"ioc_domain.rules\": 0}");
  EXPECT_EQ(reply.status, 200);
  ASSERT_EQ(stat(conf_.c_str(), &info), 0);
  EXPECT_EQ(info.st_ino, inode);
}

TEST_F(IocRuleFilesTest, ModifyFailuresAreNotReportedAsSuccess) {
  writeFile(conf_, "  - ioc_url.rules\n");
  struct Case {
    std::string body;
    long status;
    const char* reply;
  };
  // A body that was no object read as "every file off" (null did so), or
  // answered 500 with the reader's nesting error.
  const Case cases[] = {
      {"not json", 400, "Invalid JSON"},
      {"{\"ioc_url.rules\": \"yes\"}", 500, ""},
      {"[true]", 400, "Invalid JSON"},
      {"null", 400, "Invalid JSON"},
      {"\"ioc_url.rules\"", 400, "Invalid JSON"},
      {"\xEF\xBB\xBF{\"ioc_url.rules\": true}", 400, "Invalid JSON"},
      {"{\"ioc_url.rules\": true} {}", 400, "Invalid JSON"},
      {std::string(100000, '['), 400, "Invalid JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    const HttpReply reply = post("/ioc/rules/modify/", c.body);
    EXPECT_EQ(reply.status, c.status);
    if (*c.reply != '\0') {
      EXPECT_EQ(reply.body, c.reply);
    }
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(readFile(conf_), "  - ioc_url.rules\n");
  }

  unlink(conf_.c_str());
  HttpReply reply = post("/ioc/rules/modify/", "{}");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body, "Failed to open configuration file: " + conf_);
}

// Sets or clears the file's immutable flag; false when the file system has none.
bool setImmutable(const std::string& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return ok;
}

TEST_F(IocRuleFilesTest, ConfigurationThatCannotBeRewrittenAnswers500) {
  writeFile(conf_, "  - ioc_url.rules\n");
  if (!setImmutable(conf_, true)) GTEST_SKIP() << "no immutable flag on this file system";
  const HttpReply reply = post("/ioc/rules/modify/", "{}");
  setImmutable(conf_, false);
  EXPECT_EQ(reply.status, 500);
  EXPECT_NE(reply.body.find(conf_), std::string::npos) << reply.body;
  EXPECT_EQ(readFile(conf_), "  - ioc_url.rules\n");
}

}  // namespace
