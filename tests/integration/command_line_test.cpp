// The server binary's options: --version, --check-config and a usage error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/Harness.h"

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and error together
};

Outcome runServer(const std::string& arguments) {
  const std::string command = std::string(PAVORA_SERVER_BINARY) + " " + arguments + " 2>&1";
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, got);
  const int status = pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(CommandLineTest, OptionsAnswerAndExitWithTheirStatus) {
  const Outcome version = runServer("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("pavora_server ", 0), 0u) << version.output;
  EXPECT_NE(version.output.find("configuration file: "), std::string::npos);

  const Outcome unknown = runServer("--serve-faster");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.output.find("usage: pavora_server"), std::string::npos) << unknown.output;

  const std::string missing = harness::workDir() + "/no-such.conf";
  const Outcome check = runServer("--check-config " + missing);
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.output.find(missing + ": cannot be read"), std::string::npos) << check.output;
}

}  // namespace
