// The shell command runner of the rule validation.
#include "rules/Rules.h"

#include <gtest/gtest.h>

namespace {

TEST(RulesExecTest, ReturnsTheWholeOutputUnchanged) {
  const std::string longLine(300, 'x');
  EXPECT_EQ(Rules::exec(("printf '%s\\n%s' " + longLine + " E:").c_str()), longLine + "\nE:");
  EXPECT_EQ(Rules::exec("printf 'a\\0b'"), std::string("a\0b", 3));
  // The exit status is not looked at, and standard error is not captured.
  EXPECT_EQ(Rules::exec("echo out; echo err >&2; exit 3"), "out\n");
}

}  // namespace
