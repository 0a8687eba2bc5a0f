// The shell command runner.
#include "common/Process.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

TEST(ProcessExecTest, ReturnsTheWholeOutputUnchanged) {
  const std::string longLine(300, 'x');
  EXPECT_EQ(process::exec("printf '%s\\n%s' " + longLine + " E:"), longLine + "\nE:");
  EXPECT_EQ(process::exec("printf 'a\\0b'"), std::string("a\0b", 3));
  // The exit status is not looked at, and standard error is not captured.
  EXPECT_EQ(process::exec("echo out; echo err >&2; exit 3"), "out\n");
}

TEST(ProcessRunTest, ReportsTheExitStatus) {
  const int status = process::run("exit 3");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_TRUE(process::succeeds("true"));
  EXPECT_FALSE(process::succeeds("false"));
}

}  // namespace
