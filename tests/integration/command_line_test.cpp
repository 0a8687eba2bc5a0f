// The server binary's options: --version, --check-config (with the TLS keys
// it loads and matches) and a usage error.
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

// The TLS keys as the server reads them at start: one without the other,
// or a key of another certificate, fails the check naming the key.
TEST(CommandLineTest, CheckConfigLoadsAndMatchesTheTlsFiles) {
  const harness::TestCertificate& server = harness::testCertificate("server");
  const harness::TestCertificate& other = harness::testCertificate("rotated");
  const std::string path = harness::workDir() + "/tls-check.conf";
  const std::string certificateKey = "application.settings.tls_certificate_file: ";
  const std::string keyKey = "application.settings.tls_key_file: ";
  const struct {
    const char* name;
    std::string certificate;  // "" leaves the key out
    std::string key;
    std::string line;  // the check's line about the TLS keys, "" for none
  } cases[] = {
      {"matching pair", server.certificateFile, server.keyFile, ""},
      {"neither key", "", "", ""},
      {"certificate alone", server.certificateFile, "",
       keyKey + "missing: application.settings.tls_certificate_file needs it"},
      {"key of another certificate", server.certificateFile, other.keyFile,
       keyKey + other.keyFile + ": does not match the certificate " + server.certificateFile},
      {"missing certificate", harness::workDir() + "/tls/none.crt", server.keyFile,
       certificateKey + harness::workDir() + "/tls/none.crt: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    harness::TestConfig config;
    if (!c.certificate.empty()) config.setString("tls_certificate_file", c.certificate);
    if (!c.key.empty()) config.setString("tls_key_file", c.key);
    harness::writeFile(path, config.text());
    const Outcome check = runServer("--check-config " + path);
    if (c.line.empty()) {
      EXPECT_EQ(check.output.find("application.settings.tls_"), std::string::npos) << check.output;
      EXPECT_EQ(check.output.find("the server does not start"), std::string::npos) << check.output;
    } else {
      EXPECT_EQ(check.status, 1);
      EXPECT_NE(check.output.find(c.line + "\n"), std::string::npos) << check.output;
      EXPECT_NE(check.output.find("; the server does not start on it\n"), std::string::npos)
          << check.output;
    }
  }
}

}  // namespace
