// Fixture of the rule route tests.
#include "support/RulesFixture.h"

#include <unistd.h>

namespace harness {

namespace {

const char* const kExtraStandInFiles[] = {"suricata.reject", "suricata.delay",
                                          "suricata.threshold-file", "systemctl.is-active.exit",
                                          "systemctl.start.exit"};

void removeExtraStandInFiles() {
  for (const char* name : kExtraStandInFiles) unlink((StandIns::dir() + "/" + name).c_str());
}

}  // namespace

void RulesTest::SetUp() {
  IntegrationTest::SetUp();
  removeExtraStandInFiles();
  unlink(rulesFile().c_str());
  unlink(additionalFile().c_str());
  unlink(scratchFile().c_str());
}

void RulesTest::TearDown() { removeExtraStandInFiles(); }

void RulesTest::expectText(const HttpReply& reply, long status, const std::string& body) {
  EXPECT_EQ(reply.status, status);
  EXPECT_EQ(reply.body, body);
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  expectRulesCorsHeaders(reply);
}

void RulesTest::rejectRulesContaining(const std::string& text) {
  writeFile(StandIns::dir() + "/suricata.reject", text + "\n");
}

void RulesTest::delayTestRuns(const std::string& seconds) {
  writeFile(StandIns::dir() + "/suricata.delay", seconds + "\n");
}

void RulesTest::setSystemctlExit(const std::string& subcommand, int status) {
  StandIns::setExit("systemctl." + subcommand, status);
}

}  // namespace harness
