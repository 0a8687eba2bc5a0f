// The command runner: arguments passed without a shell, output, exit
// status, time limit, and what a child inherits.
#include "common/Process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using process::Capture;
using process::Command;

// The commands below that need a shell's features run one on purpose.
Command shell(const std::string& script) { return {"sh", "-c", script}; }

TEST(ProcessExecTest, ReturnsTheWholeOutputUnchanged) {
  const std::string longLine(300, 'x');
  EXPECT_EQ(process::exec({"printf", "%s\\n%s", longLine, "E:"}, 5), longLine + "\nE:");
  EXPECT_EQ(process::exec({"printf", "a\\0b"}, 5), std::string("a\0b", 3));
  // The exit status is not looked at, and standard error is not captured.
  EXPECT_EQ(process::exec(shell("echo out; echo err >&2; exit 3"), 5), "out\n");
  EXPECT_EQ(process::exec({"head", "-c", "200000", "/dev/zero"}, 5).size(), 200000u);
}

// "2>&1": the report of Suricata's test mode is read from both streams.
TEST(ProcessExecTest, FoldsStandardErrorIntoTheOutputInOrder) {
  EXPECT_EQ(
      process::exec(shell("echo out; echo 'E: err' >&2; echo end"), 5, Capture::kOutputAndErrors),
      "out\nE: err\nend\n");
}

// Each word is one argument, whatever it holds: no blank splits it, and no
// ";", "#", "$", quote or glob is read by a shell.
TEST(ProcessExecTest, PassesEveryWordAsOneArgumentWithoutAShell) {
  const std::string marker = testing::TempDir() + "process_no_shell_marker";
  unlink(marker.c_str());
  const std::string words[] = {
      "/etc/suricata/suricata.yaml; touch " + marker + " #",
      "two words",
      "$(touch " + marker + ")",
      "`touch " + marker + "`",
      "it's \"quoted\"",
      "*",
      "a\nb",
      "",
      "x > " + marker,
  };
  for (const std::string& word : words) {
    SCOPED_TRACE(word);
    EXPECT_EQ(process::exec({"printf", "[%s]", word}, 5), "[" + word + "]");
  }
  EXPECT_EQ(process::exec({"printf", "[%s]", "a b", "c;d"}, 5), "[a b][c;d]");
  EXPECT_NE(access(marker.c_str(), F_OK), 0) << "a shell ran a word";
}

TEST(ProcessRunTest, ReportsTheExitStatus) {
  const int status = process::run(shell("exit 3"), 5);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_TRUE(process::succeeds({"true"}, 5));
  EXPECT_FALSE(process::succeeds({"false"}, 5));
}

// As under the shell: a program that is not found exits 127 (and says so on
// standard error), a file that cannot be executed 126, a file without "#!"
// runs as a shell script; a name holding a "/" is taken as a path.
TEST(ProcessRunTest, FindsTheProgramAsTheShellDoes) {
  const std::string folder = testing::TempDir();
  const std::string plain = folder + "process_plain_file";
  const std::string script = folder + "process_script_without_interpreter";
  std::ofstream(plain) << "not a program\n";
  chmod(plain.c_str(), 0644);
  std::ofstream(script) << "exit 4\n";
  chmod(script.c_str(), 0755);
  const struct {
    Command command;
    int status;
  } cases[] = {
      {{"pavora-no-such-program"}, 127},
      {{folder + "pavora-no-such-program"}, 127},
      {{folder}, 126},  // a folder
      {{plain}, 126},
      {{script}, 4},
      {{"/bin/true"}, 0},
      {{"sh", "-c", "exit 5"}, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(process::textOf(c.command));
    const int status = process::run(c.command, 5);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
  }
  EXPECT_EQ(process::exec({"pavora-no-such-program", "x"}, 5, Capture::kOutputAndErrors),
            "pavora-no-such-program: not found\n");
  EXPECT_EQ(process::run({}, 5), -1);
}

// What `command` run with `output` writes on the test's own standard output.
std::string ownOutputOf(const Command& command, process::Output output) {
  const std::string path = testing::TempDir() + "process_own_output";
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(file, STDOUT_FILENO);
  close(file);
  process::run(command, 5, output);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "pgrep ... > /dev/null": the probe's output goes nowhere, while other
// commands write to the server's own output.
TEST(ProcessRunTest, DiscardedOutputDoesNotReachTheServersOutput) {
  EXPECT_EQ(ownOutputOf({"echo", "noise"}, process::Output::kInherited), "noise\n");
  EXPECT_EQ(ownOutputOf({"echo", "noise"}, process::Output::kDiscarded), "");
  EXPECT_TRUE(process::succeeds({"echo", "noise"}, 5, process::Output::kDiscarded));
}

// A hung command used to hold its caller until the server was restarted.
TEST(ProcessLimitTest, CommandPastItsLimitIsKilledWithItsChildren) {
  const std::string pidFile = testing::TempDir() + "process_limit_grandchild.pid";
  const auto started = std::chrono::steady_clock::now();
  for (const bool capture : {false, true}) {
    unlink(pidFile.c_str());
    const Command command = shell("sleep 30 & echo $! > " + pidFile + "; wait");
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
    const std::string grandchild = process::exec({"cat", pidFile}, 5);
    ASSERT_FALSE(grandchild.empty());
    const pid_t pid = std::stoi(grandchild);
    // Killed with its group; reaped by init once orphaned, so poll briefly.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      gone =
          kill(pid, 0) != 0 || process::exec({"ps", "-o", "stat=", "-p", grandchild}, 5)[0] == 'Z';
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
  const std::string listing = process::exec({"ls", "/proc/self/fd"}, 5);
  close(socket);
  // ls itself opens one descriptor for the listing: 0, 1, 2 and that one.
  int count = 0;
  for (char c : listing) count += c == '\n';
  EXPECT_EQ(count, 4) << listing;
}

}  // namespace
