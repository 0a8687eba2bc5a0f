// Fixture of the rule route tests: the rules, additional rules and scratch
// files of the test configuration, and the checks every Rules reply shares.
#ifndef TESTS_SUPPORT_RULESFIXTURE_H_
#define TESTS_SUPPORT_RULESFIXTURE_H_

#include <string>

#include "support/Harness.h"

namespace harness {

class RulesTest : public IntegrationTest {
 protected:
  void SetUp() override;
  // Removes the stand-in settings that StandIns::reset does not know.
  void TearDown() override;

  std::string rulesFile() const { return config_.path("rules_file"); }
  std::string additionalFile() const { return config_.path("additional_rules"); }
  std::string scratchFile() const { return config_.path("tmp_rule_file"); }

  // A plain-text reply: status, body, no content type, the Rules headers.
  static void expectText(const HttpReply& reply, long status, const std::string& body);

  // The suricata stand-in reports an "E: " line for rules holding `text`.
  static void rejectRulesContaining(const std::string& text);
  // The suricata stand-in waits this long before reading the rule file.
  static void delayTestRuns(const std::string& seconds);
  // systemctl exits with `status` for `subcommand` alone.
  static void setSystemctlExit(const std::string& subcommand, int status);
};

}  // namespace harness

#endif  // TESTS_SUPPORT_RULESFIXTURE_H_
