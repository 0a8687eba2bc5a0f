// The network routes against the real host and the tests' own Redis: the
// live map's shape, and the address history from known lists and configurations.
#include <json/json.h>

#include <future>
#include <memory>

#include "common/RedisWrapper.h"
#include "net/AddressHistory.h"
#include "net/NetDiscovery.h"
#include "support/Harness.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::TestRedis;

std::string event(const std::string& source) {
  return R"({"event_type":"alert","src_ip":")" + source + R"(","dest_ip":"172.16.9.9"})";
}

class NetTest : public harness::IntegrationTest {
 protected:
  // Every Net reply: the origin header alone, and no content type.
  static void expectNetHeaders(const HttpReply& reply) {
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(reply.headerCount("Access-Control-Allow-Methods"), 0u);
    EXPECT_EQ(reply.headerCount("Access-Control-Allow-Headers"), 0u);
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  }
  static void expectHistory(const std::string& expectedBody) {
    const HttpReply reply = get("/net/historicalmap/");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, expectedBody);
    expectNetHeaders(reply);
  }
};

TEST_F(NetTest, MapOfTheRealHostIsJsonOfItsIpv4InterfacesWithoutLo) {
  const HttpReply reply = get("/net/map/");
  ASSERT_EQ(reply.status, 200);
  expectNetHeaders(reply);
  ASSERT_GE(reply.body.size(), 4u);
  EXPECT_EQ(reply.body.substr(0, 2), "[\n");
  EXPECT_EQ(reply.body.substr(reply.body.size() - 2), "]\n");

  Json::Value map;
  std::string errors;
  Json::CharReaderBuilder strict;
  Json::CharReaderBuilder::strictMode(&strict.settings_);
  const std::unique_ptr<Json::CharReader> reader(strict.newCharReader());
  ASSERT_TRUE(
      reader->parse(reply.body.data(), reply.body.data() + reply.body.size(), &map, &errors))
      << errors << reply.body;
  ASSERT_TRUE(map.isArray());

  const std::vector<InterfaceInfo> interfaces = net::getNetworkInterfaces();
  ASSERT_EQ(map.size(), interfaces.size()) << reply.body;
  for (Json::ArrayIndex i = 0; i < map.size(); ++i) {
    const Json::Value& entry = map[i];
    SCOPED_TRACE(entry.toStyledString());
    EXPECT_EQ(entry.getMemberNames(),
              (std::vector<std::string>{"devices", "interface", "ip", "netmask"}));
    EXPECT_NE(entry["interface"].asString(), "lo");
    EXPECT_EQ(entry["interface"].asString(), interfaces[i].interface);
    EXPECT_EQ(entry["ip"].asString(), interfaces[i].ip);
    EXPECT_EQ(entry["netmask"].asString(), interfaces[i].netmask);
    ASSERT_TRUE(entry["devices"].isArray());
    for (const Json::Value& device : entry["devices"]) {
      EXPECT_EQ(device.getMemberNames(), (std::vector<std::string>{"hostname", "ip", "mac"}));
    }
  }
}

TEST_F(NetTest, HistoryListsDistinctIpv4SourcesOfTheConfiguredListsInByteOrder) {
  config_.setRaw("statistical_events", R"(( "alert", "dns" ))").write();
  TestRedis::rpush("alert", {event("10.0.0.5"), event("10.0.0.12"), event("fe80::1"),
                             "not json at all", event("0.0.0.0"), event("10.0.0.5")});
  TestRedis::rpush("dns", {event("192.168.1.7"), R"({"dest_ip":"10.9.9.9"})"});
  TestRedis::rpush("flow", {event("172.16.0.1")});  // not configured

  expectHistory(
      "{\n"
      "    \"unique_ips\" : \n"
      "    [\n"
      "        \"10.0.0.12\",\n"
      "        \"10.0.0.5\",\n"
      "        \"192.168.1.7\"\n"
      "    ]\n"
      "}");
}

TEST_F(NetTest, HistoryIsNullWhenNothingQualifiesOrTheConfigurationFails) {
  TestRedis::rpush("alert", {event("10.0.0.5")});
  struct Case {
    const char* name;
    const char* raw;  // statistical_events as libconfig text; nullptr: key missing
  };
  for (const Case& c :
       {Case{"bracketed array", R"([ "alert", "flow" ])"}, Case{"missing key", nullptr},
        Case{"lists without IPv4 sources", R"(( "dns", "flow" ))"}}) {
    SCOPED_TRACE(c.name);
    harness::TestConfig config;
    if (c.raw != nullptr) {
      config.setRaw("statistical_events", c.raw);
    } else {
      config.remove("statistical_events");
    }
    config.write();
    TestRedis::rpush("dns", {event("0.0.0.0"), event("::1"), "[not json"});
    expectHistory("null");
  }
  harness::TestConfig::erase();
  expectHistory("null");
}

TEST_F(NetTest, ListThatCannotBeReadIsReportedAndTheOthersStillCount) {
  TestRedis::command({"SET", "alert", "a string, not a list"});
  TestRedis::rpush("flow", {event("10.1.1.1"), "{broken", event("10.1.1.2")});
  RedisWrapper redis;
  testing::internal::CaptureStderr();
  const std::set<std::string> found = net::get_unique_ipv4(redis, {"alert", "flow", "missing"});
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(found, (std::set<std::string>{"10.1.1.1", "10.1.1.2"}));
  EXPECT_NE(errors.find("Error executing LRANGE for key: alert\n"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Error parsing JSON: "), std::string::npos) << errors;
  EXPECT_EQ(errors.find("missing"), std::string::npos) << errors;  // an absent list is empty
}

TEST_F(NetTest, HistoryWaitsForTheDaemonsLock) {
  TestRedis::rpush("alert", {event("10.0.0.5")});
  TestRedis::command({"SET", "lock:ferryd", "1"});
  auto pending = std::async(std::launch::async, [] { return get("/net/historicalmap/"); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "the request did not wait for the lock";
  TestRedis::command({"DEL", "lock:ferryd"});
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(3000)), std::future_status::ready);
  EXPECT_EQ(pending.get().body, "{\n    \"unique_ips\" : \n    [\n        \"10.0.0.5\"\n    ]\n}");
}

TEST_F(NetTest, HistoryWithRedisStoppedFailsButTheMapStillAnswers) {
  harness::RedisRestarter restart;
  TestRedis::stop();
  const HttpReply history = get("/net/historicalmap/");
  EXPECT_EQ(history.status, 500);
  EXPECT_EQ(history.body, "Failed to get historical net data.");
  expectNetHeaders(history);
  EXPECT_EQ(get("/net/map/").status, 200);
}

}  // namespace
