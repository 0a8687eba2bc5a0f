// The additional rule categories and the service control routes, with
// stand-ins for systemctl, suricatasc and sudo.
#include "support/RulesFixture.h"

namespace {

using harness::get;
using harness::post;
using harness::readFile;
using harness::StandIns;
using harness::writeFile;

using Calls = std::vector<std::string>;

class RulesCategoriesTest : public harness::RulesTest {};

const std::string kSocial = "drop dns any any -> any any (msg:\"social media a\"; sid:1; rev:1;)";
const std::string kPorn = "#drop dns any any -> any any (msg:\"porn media b\"; sid:2; rev:1;)";
const std::string kGambling = "##drop dns any any (msg:\"gambling media c\"; sid:3; rev:1;)";
const std::string kOther = "drop dns any any (msg:\"other\"; sid:4; rev:1;)";
const std::string kNotDns = "alert tcp any any (msg:\"universal media\"; sid:5; rev:1;)";

TEST_F(RulesCategoriesTest, UpdateThenStatus) {
  writeFile(additionalFile(),
            kSocial + "\n" + kPorn + "\n" + kGambling + "\n" + kOther + "\n" + kNotDns);
  expectText(get("/rules/additional/status/"), 200,
             "[\n\t{\n\t\t\"status\" : true,\n\t\t\"title\" : \"social\"\n\t},\n"
             "\t{\n\t\t\"status\" : false,\n\t\t\"title\" : \"porno\"\n\t},\n"
             "\t{\n\t\t\"status\" : false,\n\t\t\"title\" : \"gambling\"\n\t},\n"
             "\t{\n\t\t\"status\" : true,\n\t\t\"title\" : \"\"\n\t}\n]");

  const std::string allOn =
      R"({"universal":true,"fakenews":true,"porno":1,"gambling":true,"social":true})";
  expectText(post("/rules/additional/update/", allOn), 200, "Rules successfully updated");
  EXPECT_EQ(readFile(additionalFile()), kSocial + "\n" + kPorn.substr(1) + "\n" +
                                            kGambling.substr(1) + "\n" + kOther + "\n" + kNotDns +
                                            "\n");

  expectText(post("/rules/additional/update/", "{}"), 200, "Rules successfully updated");
  EXPECT_EQ(readFile(additionalFile()), "#" + kSocial + "\n" + kPorn + "\n" + kGambling.substr(1) +
                                            "\n" + kOther + "\n#" + kNotDns + "\n");
}

// A body that is JSON but no object, or an object with a byte-order mark
// before it or garbage after it, read as "every category off" and commented
// out all five categories.
TEST_F(RulesCategoriesTest, UpdateWithABodyThatIsNoObjectChangesNothing) {
  const std::string text = kSocial + "\n" + kPorn + "\n";
  writeFile(additionalFile(), text);
  const std::string bodies[] = {"null",
                                "[]",
                                "1",
                                "\"social\"",
                                "\xEF\xBB\xBF{\"social\":true}",
                                "{\"social\":true} x",
                                "{\"social\":true}{}",
                                std::string(100000, '[')};
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body.substr(0, 24));
    expectText(post("/rules/additional/update/", body), 400, "Invalid JSON");
    EXPECT_EQ(readFile(additionalFile()), text);
  }
  expectText(post("/rules/additional/update/", " {\"social\":true, \"porno\":true}\n"), 200,
             "Rules successfully updated");
  EXPECT_EQ(readFile(additionalFile()), kSocial + "\n" + kPorn.substr(1) + "\n");
}

TEST_F(RulesCategoriesTest, StatusIsNullWithoutDropDnsLines) {
  expectText(get("/rules/additional/status/"), 200, "null");
  writeFile(additionalFile(), kNotDns + "\n");
  expectText(get("/rules/additional/status/"), 200, "null");
}

TEST_F(RulesCategoriesTest, UpdateCreatesAMissingFile) {
  expectText(post("/rules/additional/update/", "{}"), 200, "Rules successfully updated");
  EXPECT_EQ(readFile(additionalFile()), "");
}

TEST_F(RulesCategoriesTest, Failures) {
  writeFile(additionalFile(), kSocial + "\n");
  expectText(post("/rules/additional/update/", "{"), 400, "Invalid JSON");
  expectText(post("/rules/additional/update/", R"({"social":"yes"})"), 500,
             "Value is not convertible to bool.");
  harness::TestConfig::erase();
  expectText(get("/rules/additional/status/"), 200, "Unable to read rule file");
  expectText(post("/rules/additional/update/", "{}"), 500, "Error updating rules");
  EXPECT_EQ(readFile(additionalFile()), kSocial + "\n");
}

class RulesServiceTest : public harness::RulesTest {};

TEST_F(RulesServiceTest, CommandsSucceed) {
  setSystemctlExit("is-active", 3);
  struct Case {
    const char* path;
    const char* body;
    Calls calls;
  };
  const Case cases[] = {
      {"/suricata/reload/", "Suricata restartedd successfully", {"systemctl restart suricata"}},
      {"/suricata/stop/", "Suricata stopped successfully", {"systemctl stop suricata"}},
      {"/suricata/start/",
       "Suricata started successfully",
       {"systemctl is-active --quiet suricata", "systemctl start suricata"}},
      {"/suricata/update/", "Suricata rules updated successfully", {"sudo suricata-update"}},
      {"/daemon/start/",
       "Ferryd started successfully",
       {"systemctl is-active --quiet ferryd", "systemctl start ferryd"}},
      {"/daemon/stop/", "Ferryd stopped successfully", {"systemctl stop ferryd"}},
      {"/rules/reload/blocking",
       "Rules reloaded successfully (blocking)",
       {"suricatasc -c reload-rules"}},
      {"/rules/reload/nonblocking",
       "Rules reloaded successfully (nonblocking)",
       {"suricatasc -c ruleset-reload-nonblocking"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    StandIns::reset();
    expectText(get(c.path), 200, c.body);
    EXPECT_EQ(StandIns::calls(), c.calls);
  }
}

TEST_F(RulesServiceTest, FailingCommandsAnswer500) {
  for (const char* command : {"systemctl", "sudo", "suricatasc"}) StandIns::setExit(command, 1);
  setSystemctlExit("is-active", 3);
  const std::pair<const char*, const char*> cases[] = {
      {"/suricata/reload/", "Cannot restart Suricata: Failed to restart Suricata."},
      {"/suricata/stop/", "Cannot stop Suricata: Failed to stop Suricata."},
      {"/suricata/start/", "Cannot start Suricata: Failed to start Suricata."},
      {"/suricata/update/", "Cannot update Suricata rules: Failed to update rules for Suricata."},
      {"/daemon/start/", "Cannot start Ferryd: Failed to start Ferryd."},
      {"/daemon/stop/", "Cannot stop Ferryd: Failed to stop Ferryd."},
      {"/rules/reload/blocking", "Error reloading rules"},
      {"/rules/reload/nonblocking", "Error reloading rules"},
  };
  for (const auto& [path, body] : cases) {
    SCOPED_TRACE(path);
    expectText(get(path), 500, body);
  }
}

TEST_F(RulesServiceTest, StartingAnActiveServiceRunsNoStartCommand) {
  setSystemctlExit("is-active", 0);
  expectText(get("/suricata/start/"), 500, "Cannot start Suricata: Suricata is already running.");
  expectText(get("/daemon/start/"), 500, "Cannot start Ferryd: Daemon is already running.");
  EXPECT_EQ(StandIns::calls(),
            (Calls{"systemctl is-active --quiet suricata", "systemctl is-active --quiet ferryd"}));
}

}  // namespace
