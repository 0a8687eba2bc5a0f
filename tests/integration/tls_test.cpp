// HTTPS on the server's port: with both TLS keys set the port speaks TLS 1.2
// and 1.3 only, with the configured certificate, to curl and to a real
// browser; a restart takes replaced files. With one key, or files that do not
// load or match, the server does not start.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "support/Browser.h"
#include "support/EventReplies.h"
#include "support/Harness.h"

namespace {

using harness::HttpReply;
using harness::TestCertificate;
using harness::TlsServer;

class TlsTest : public harness::IntegrationTest {};

TEST_F(TlsTest, ServesHttpsWithTheConfiguredCertificate) {
  const TlsServer tls(config_);
  harness::TestRedis::rpush("alert", {R"({"flow_id":1})", R"({"flow_id":2})"});
  const HttpReply health = harness::get("/health");
  EXPECT_EQ(health.status, 200) << "no HTTPS reply trusting only the test certificate";
  EXPECT_EQ(harness::parseJson(health.body)["status"], "ok") << health.body;
  EXPECT_EQ(harness::get("/events/count/alert").body, "2");
}

// The outcome of one TLS handshake and request with the protocol versions
// `versions` (libcurl's CURL_SSLVERSION_* values) offered. The client allows
// the legacy algorithms (security level 0) that TLS 1.1 needs, so that it is
// the server that decides: without that OpenSSL would not offer TLS 1.1.
struct Handshake {
  CURLcode code;
  long status;
  std::string error;
};

Handshake handshake(long versions, const TestCertificate& trusted) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  char error[CURL_ERROR_SIZE] = "";
  const std::string url = harness::serverUrl("/health");
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl.get(), CURLOPT_CAINFO, trusted.certificateFile.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_SSLVERSION, versions);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 10000L);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(
      curl.get(), CURLOPT_WRITEFUNCTION,
      +[](char*, size_t size, size_t count, void*) { return size * count; });
  Handshake outcome{curl_easy_perform(curl.get()), 0, ""};
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &outcome.status);
  outcome.error = error;
  return outcome;
}

TEST_F(TlsTest, OffersTls12And13Only) {
  const TlsServer tls(config_);
  const struct {
    const char* name;
    long versions;
    bool served;
  } cases[] = {
      {"TLS 1.0 to 1.1", CURL_SSLVERSION_TLSv1_0 | CURL_SSLVERSION_MAX_TLSv1_1, false},
      {"TLS 1.1 only", CURL_SSLVERSION_TLSv1_1 | CURL_SSLVERSION_MAX_TLSv1_1, false},
      {"TLS 1.2 only", CURL_SSLVERSION_TLSv1_2 | CURL_SSLVERSION_MAX_TLSv1_2, true},
      {"TLS 1.3 only", CURL_SSLVERSION_TLSv1_3 | CURL_SSLVERSION_MAX_TLSv1_3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Handshake outcome = handshake(c.versions, harness::testCertificate());
    if (c.served) {
      EXPECT_EQ(outcome.code, CURLE_OK) << outcome.error;
      EXPECT_EQ(outcome.status, 200);
    } else {
      EXPECT_EQ(outcome.code, CURLE_SSL_CONNECT_ERROR) << outcome.error;
      EXPECT_EQ(outcome.status, 0);
    }
  }
}

// Bytes received on a new connection after writing `request`, until the
// server closes it or `window` passes; `closed` tells which.
struct RawExchange {
  std::string received;
  bool closed = false;
};

RawExchange rawExchange(const std::string& request, int windowSeconds) {
  RawExchange exchange;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{windowSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(build_settings::kHttpPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (;;) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) {
        // A reset counts as closed as well; only the time-out does not.
        exchange.closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
      }
      exchange.received.append(buffer, static_cast<size_t>(got));
    }
  }
  close(fd);
  return exchange;
}

TEST_F(TlsTest, PlainHttpOnTheTlsPortGetsNoHttpReply) {
  const TlsServer tls(config_);
  const RawExchange exchange =
      rawExchange("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 5);
  EXPECT_TRUE(exchange.closed) << "the connection stayed open";
  EXPECT_EQ(exchange.received.find("HTTP/"), std::string::npos) << exchange.received;
  EXPECT_EQ(harness::get("/health").status, 200) << "HTTPS after the plain request";
}

TEST_F(TlsTest, BrowserFetchesARouteOverHttps) {
  if (const auto reason = harness::Chromium::unavailable()) GTEST_SKIP() << *reason;
  const TlsServer tls(config_);
  harness::TestRedis::rpush("alert", {R"({"flow_id":1})", R"({"flow_id":2})", R"({"flow_id":3})"});
  const harness::PageServer front("127.0.0.1", harness::PageServer::firstPort());
  front.addPage("tls.html", harness::notingPage(R"(
    for (const path of ['/health', '/events/count/alert']) {
      const reply = await fetch(')" + harness::serverUrl("") +
                                                R"(' + path);
      note(path + ' ' + reply.status + ' ' + (await reply.text()).length);
    }
  )"));
  const std::string health = harness::get("/health").body;
  const std::vector<std::string> expected = {
      "/health 200 " + std::to_string(health.size()),
      "/events/count/alert 200 1",
      "done",
  };
  EXPECT_EQ(
      harness::notesOf(harness::Chromium::dumpDom(
          front.url("tls.html"), std::chrono::milliseconds(5000), "--ignore-certificate-errors")),
      expected);
}

// Rotation as the README tells it: new files over the configured ones, then
// a restart.
TEST_F(TlsTest, RestartTakesTheReplacedCertificate) {
  const TestCertificate& first = harness::testCertificate("server");
  const TestCertificate& second = harness::testCertificate("rotated");
  const TestCertificate live{harness::workDir() + "/tls/live.crt",
                             harness::workDir() + "/tls/live.key"};
  const auto install = [&](const TestCertificate& pair) {
    harness::writeFile(live.certificateFile, harness::readFile(pair.certificateFile));
    harness::writeFile(live.keyFile, harness::readFile(pair.keyFile));
    chmod(live.keyFile.c_str(), 0600);
  };
  install(first);
  const TlsServer tls(config_, live);
  harness::useHttps(first.certificateFile);
  ASSERT_EQ(harness::get("/health").status, 200);

  install(second);
  // Read at start only: the running server keeps the first certificate.
  harness::useHttps(second.certificateFile);
  EXPECT_EQ(harness::get("/health").status, 0);
  harness::TestServer::restart();
  EXPECT_EQ(harness::get("/health").status, 200);
  harness::useHttps(first.certificateFile);
  EXPECT_EQ(harness::get("/health").status, 0) << "the old certificate is still served";
}

// The server binary started on the test configuration, to its exit (at most
// 20 s): its status and its log (PAVORA_LOG_STDERR) together.
struct Exit {
  int status;
  std::string output;
};

Exit runToExit() {
  const std::string command =
      std::string("PAVORA_LOG_STDERR=1 timeout 20 ") + PAVORA_SERVER_BINARY + " 2>&1";
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, got);
  const int status = pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Each case would otherwise serve half of HTTPS or fall back to plain HTTP.
// The shared server keeps running: a refused start never reaches the port.
TEST_F(TlsTest, StartIsRefusedForHalfOrUnusableTlsSettings) {
  const TestCertificate& server = harness::testCertificate("server");
  const TestCertificate& other = harness::testCertificate("rotated");
  const std::string garbage = harness::workDir() + "/tls/garbage.crt";
  harness::writeFile(garbage, "not a certificate\n");
  const struct {
    const char* name;
    std::optional<std::string> certificate;  // nothing leaves the key out
    std::optional<std::string> key;
    std::string logged;
  } cases[] = {
      {"certificate alone", server.certificateFile, std::nullopt,
       "Not starting: application.settings.tls_key_file: missing: "
       "application.settings.tls_certificate_file needs it"},
      {"key alone", std::nullopt, server.keyFile,
       "Not starting: application.settings.tls_certificate_file: missing: "
       "application.settings.tls_key_file needs it"},
      {"key of another certificate", server.certificateFile, other.keyFile,
       "Not starting: TLS key does not match the certificate (key file " + other.keyFile +
           ", certificate file " + server.certificateFile + ")"},
      {"garbage certificate", garbage, server.keyFile,
       "Not starting: TLS certificate file " + garbage + ": holds no PEM certificate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    harness::TestConfig config;
    if (c.certificate) config.setString("tls_certificate_file", *c.certificate);
    if (c.key) config.setString("tls_key_file", *c.key);
    config.write();
    const Exit outcome = runToExit();
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find(c.logged), std::string::npos) << outcome.output;
  }
}

}  // namespace
