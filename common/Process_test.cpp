// The shell command runner: output, exit status, time limit, and what a
// child inherits.
#include "common/Process.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ProcessExecTest, ReturnsTheWholeOutputUnchanged) {
  const std::string longLine(300, 'x');
  EXPECT_EQ(process::exec("printf '%s\\n%s' " + longLine + " E:", 5), longLine + "\nE:");
  EXPECT_EQ(process::exec("printf 'a\\0b'", 5), std::string("a\0b", 3));
  // The exit status is not looked at, and standard error is not captured.
  EXPECT_EQ(process::exec("echo out; echo err >&2; exit 3", 5), "out\n");
  EXPECT_EQ(process::exec("head -c 200000 /dev/zero", 5).size(), 200000u);
}

TEST(ProcessRunTest, ReportsTheExitStatus) {
  const int status = process::run("exit 3", 5);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_TRUE(process::succeeds("true", 5));
  EXPECT_FALSE(process::succeeds("false", 5));
}

// A hung command used to hold its caller until the server was restarted.
TEST(ProcessLimitTest, CommandPastItsLimitIsKilledWithItsChildren) {
  const std::string pidFile = testing::TempDir() + "process_limit_grandchild.pid";
  const auto started = std::chrono::steady_clock::now();
  for (const bool capture : {false, true}) {
    unlink(pidFile.c_str());
    const std::string command = "sleep 30 & echo $! > " + pidFile + "; wait";
    try {
      if (capture) {
        process::exec(command, 1);
      } else {
        process::run(command, 1);
      }
      ADD_FAILURE() << "no time limit, capture " << capture;
    } catch (const process::TimeLimitExceeded& e) {
      EXPECT_NE(std::string(e.what()).find("limit of 1 s"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("sleep 30"), std::string::npos) << e.what();
    }
    const std::string grandchild = process::exec("cat " + pidFile, 5);
    ASSERT_FALSE(grandchild.empty());
    const pid_t pid = std::stoi(grandchild);
    // Killed with its group; reaped by init once orphaned, so poll briefly.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      gone = kill(pid, 0) != 0 || process::exec("ps -o stat= -p " + grandchild, 5)[0] == 'Z';
      if (!gone) usleep(10000);
    }
    EXPECT_TRUE(gone) << "sleep " << pid << " outlived its command, capture " << capture;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// A child holding the server's sockets kept port 8080 bound after a restart.
TEST(ProcessInheritanceTest, ChildSeesOnlyStandardDescriptors) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);  // no close-on-exec, like the endpoint's
  ASSERT_GE(socket, 0);
  const std::string listing = process::exec("ls /proc/self/fd", 5);
  close(socket);
  // ls itself opens one descriptor for the listing: 0, 1, 2 and that one.
  int count = 0;
  for (char c : listing) count += c == '\n';
  EXPECT_EQ(count, 4) << listing;
}

}  // namespace
