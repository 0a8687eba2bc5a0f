// Rule and indicator queries see every change of their file made before they
// arrive, whoever made it: the server's own edit routes, a rename over the
// file (as rule updaters write it), an in-place rewrite of the same size in
// the same timestamp tick, and a configuration naming another file.
#include <fcntl.h>
#include <json/reader.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "common/JsonText.h"
#include "support/RulesFixture.h"

namespace {

using harness::get;
using harness::post;
using harness::writeFile;

// A rule line with this sid and message; `enabled` false puts "#" in front.
std::string ruleLine(int sid, const std::string& message, bool enabled = true) {
  return std::string(enabled ? "" : "#") + "alert tcp any any -> any any (msg:\"" + message +
         "\"; sid:" + std::to_string(sid) + "; rev:1;)";
}

// A JSON request body with these members.
std::string body(std::initializer_list<std::pair<const char*, Json::Value>> members) {
  Json::Value object(Json::objectValue);
  for (const auto& member : members) object[member.first] = member.second;
  return json_text::write(object);
}

std::string contentBody(const std::string& rule) { return body({{"content", rule}}); }

Json::Value parse(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(Json::Reader().parse(text, value)) << text;
  return value;
}

// Rewrites `path` in place and gives it the modification time `tick`, as a
// second write within one timestamp tick leaves it.
void rewriteInSameTick(const std::string& path, const std::string& text, time_t tick) {
  writeFile(path, text);
  const timespec times[2] = {{tick, 0}, {tick, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void renameOver(const std::string& path, const std::string& text) {
  writeFile(path + ".update", text);
  ASSERT_EQ(std::rename((path + ".update").c_str(), path.c_str()), 0);
}

class RulesFileChangesTest : public harness::RulesTest {
 protected:
  std::string messageOfFirstRule() {
    return parse(get("/rules?page_size=1").body)[0]["msg"].asString();
  }
};

TEST_F(RulesFileChangesTest, InPlaceRewriteOfTheSameSizeInTheSameTickIsSeen) {
  const time_t tick = time(nullptr);
  for (int round = 0; round < 10; ++round) {
    const std::string message = round % 2 ? "odd" : "eve";
    rewriteInSameTick(rulesFile(), ruleLine(1, message) + "\n", tick);
    EXPECT_EQ(messageOfFirstRule(), "\"" + message + "\"") << "round " << round;
  }
}

TEST_F(RulesFileChangesTest, RenameOverTheFileIsSeen) {
  for (int round = 0; round < 10; ++round) {
    const std::string message = "m" + std::to_string(round);
    renameOver(rulesFile(), ruleLine(1, message) + "\n");
    EXPECT_EQ(messageOfFirstRule(), "\"" + message + "\"") << "round " << round;
  }
}

TEST_F(RulesFileChangesTest, EachEditRouteIsSeenByTheNextQuery) {
  writeFile(rulesFile(), ruleLine(1, "a") + "\n");
  for (int round = 0; round < 4; ++round) {
    EXPECT_EQ(post("/rules/toggle/", contentBody(ruleLine(1, "a"))).status, 200);
    EXPECT_EQ(parse(get("/rules/1").body)["enabled"].asBool(), round % 2 == 1) << "round " << round;
  }
  Json::Value oldRule;
  oldRule["content"] = "msg:\"a\"";
  Json::Value newRule;
  newRule["content"] = "msg:\"b\"";
  EXPECT_EQ(post("/rules/update/", body({{"rule", oldRule}, {"new_rule", newRule}})).status, 200);
  EXPECT_EQ(messageOfFirstRule(), "\"b\"");
  EXPECT_EQ(post("/rules/add/", contentBody(ruleLine(2, "c"))).status, 200);
  EXPECT_EQ(get("/rules/2").status, 200);
  EXPECT_EQ(post("/rules/delete/", contentBody(ruleLine(2, "c"))).status, 200);
  EXPECT_EQ(get("/rules/2").status, 404);
}

TEST_F(RulesFileChangesTest, ConfigurationNamingAnotherFileIsFollowed) {
  writeFile(rulesFile(), ruleLine(1, "first") + "\n");
  EXPECT_EQ(messageOfFirstRule(), "\"first\"");
  const std::string other = rulesFile() + ".other";
  writeFile(other, ruleLine(1, "other") + "\n");
  config_.setString("rules_file", other).write();
  EXPECT_EQ(messageOfFirstRule(), "\"other\"");
  unlink(other.c_str());
  harness::expectRulesCorsHeaders(get("/rules"));
  EXPECT_EQ(get("/rules").body, "Unable to open rules file");
}

class IocStoreChangesTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    store_ = config_.path("ioc_local_file_name");
  }
  // A store of one record, enabled or not, with this feed id.
  static std::string store(const std::string& id, bool enabled) {
    return "[{\"id\":\"" + id +
           "\",\"ioc_type\":\"domain\",\"ioc_value\":\"example.org\",\"status\":" +
           (enabled ? "true " : "false") + "}]";
  }
  Json::Value first() { return parse(get("/ioc/").body)[0]; }
  std::string store_;
};

TEST_F(IocStoreChangesTest, InPlaceRewriteOfTheSameSizeInTheSameTickIsSeen) {
  const time_t tick = time(nullptr);
  for (int round = 0; round < 10; ++round) {
    rewriteInSameTick(store_, store(round % 2 ? "x1" : "x2", round % 2), tick);
    EXPECT_EQ(first()["id"].asString(), round % 2 ? "x1" : "x2") << "round " << round;
    EXPECT_EQ(first()["status"].asBool(), round % 2 == 1) << "round " << round;
  }
}

TEST_F(IocStoreChangesTest, RenameAndTheSwitchRouteAreSeen) {
  for (int round = 0; round < 6; ++round) {
    renameOver(store_, store("id" + std::to_string(round), true));
    const Json::Value record = first();
    EXPECT_EQ(record["id"].asString(), "id" + std::to_string(round));
    EXPECT_EQ(post("/ioc/toggle/", contentBody(record["uniq_id"].asString())).status, 200);
    EXPECT_FALSE(first()["status"].asBool()) << "round " << round;
  }
}

}  // namespace
