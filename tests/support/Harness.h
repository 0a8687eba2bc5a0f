// Integration test harness: a Redis that the tests start on the test build's
// port, the real server binary with stand-in commands first on its PATH, the
// test configuration file, and a small HTTP client.
#ifndef TESTS_SUPPORT_HARNESS_H_
#define TESTS_SUPPORT_HARNESS_H_

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/RedisWrapper.h"

namespace harness {

// ---- Folders ---------------------------------------------------------------

// Scratch folder of this test build; the configuration points into it.
std::string workDir();
// The test support folder of the source tree (tests/support): fixture
// builders such as make_test_mmdb.pl.
std::string supportDir();
// The stand-ins for outside commands (tests/bin), first on the server's PATH.
std::string standInBinDir();
// Whole content of `path` ("" when it cannot be read), and writing one.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// Polls `condition` until it holds or `timeout` passes; returns the last result.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// ---- HTTP --------------------------------------------------------------------

// "http://127.0.0.1:<port><path>" for the server under test, or "https://..."
// while the harness's client speaks HTTPS (see TlsServer).
std::string serverUrl(const std::string& path);

struct HttpReply {
  long status = 0;  // 0 when the request failed at the transport level
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // in order received

  // Value of the first header named `name` (case-insensitive), if any.
  std::optional<std::string> header(const std::string& name) const;
  // Number of headers named `name` (case-insensitive).
  size_t headerCount(const std::string& name) const;
};

// One request to the server under test on 127.0.0.1, at most `timeout` long.
HttpReply http(const std::string& method, const std::string& path, const std::string& body = "",
               std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
// The same with further request headers, each "Name: value" (Origin,
// Authorization); a Content-Type among them replaces the JSON one that a
// body gets by default.
HttpReply httpWith(const std::vector<std::string>& headers, const std::string& method,
                   const std::string& path, const std::string& body = "");
inline HttpReply get(const std::string& path) { return http("GET", path); }
inline HttpReply post(const std::string& path, const std::string& body) {
  return http("POST", path, body);
}

// The header set of the Rules and Threats classes and of every preflight reply:
// origin "*", the five methods and the five request headers, each once.
void expectRulesCorsHeaders(const HttpReply& reply);

// ---- The tests' own Redis ----------------------------------------------------

class TestRedis {
 public:
  // Starts redis-server on the test port; fails when anything already
  // answers there (the tests never touch a Redis they did not start).
  static void start();
  static void stop();
  static bool running();
  // Freezes the server (SIGSTOP) and lets it go on (SIGCONT): it still
  // accepts connections but answers nothing meanwhile.
  static void pause();
  static void resume();

  // One command on a fresh connection, without the lock wait.
  static RedisReplyPtr command(const std::vector<std::string>& args);
  static void flushAll();
  static void rpush(const std::string& key, const std::vector<std::string>& values);
};

// Starts the tests' Redis again when a test that stops it ends, pass or fail.
struct RedisRestarter {
  ~RedisRestarter() { TestRedis::start(); }
};

// ---- The server under test -----------------------------------------------------

class TestServer {
 public:
  // Starts the server binary with tests/bin first on PATH and waits until it
  // accepts connections. Its output goes to workDir()/server.log.
  static void start();
  // The same, with the binary's path appended to `launcher` and that command
  // run instead (for example a shell that prepares a mount namespace and then
  // execs its last argument). Throws when nothing answers on the port.
  static void startUnder(const std::vector<std::string>& launcher);
  static void stop();
  // Sends SIGTERM and waits at most `timeout` for the server to end: its
  // wait status, or nothing when it is still running (then still running).
  static std::optional<int> terminate(std::chrono::milliseconds timeout);
  static void restart();
  static bool running();
  // Process id of the running server (-1 when none); "/proc/<pid>/root"
  // shows the files as the server sees them.
  static int pid();
};

// ---- The server's log ----------------------------------------------------------

// The server copies its syslog lines to its output (PAVORA_LOG_STDERR=1),
// which goes to workDir()/server.log. Its size now: where a test starts reading.
size_t serverLogSize();
// The log from `mark` on.
std::string serverLogSince(size_t mark);
// Polls until the log from `mark` on holds `text`; returns whether it does.
bool waitForLog(size_t mark, const std::string& text);

// ---- The server's metrics -----------------------------------------------------

// The value of the sample `series` ("name{labels}" as written) in the
// metrics text `text`, or -1 when it holds none.
double metricSample(const std::string& text, const std::string& series);

// ---- Configuration -------------------------------------------------------------

// The test configuration file, written at the path compiled into the test
// build. Values are libconfig text: quoted strings, floats, lists.
class TestConfig {
 public:
  // Every key, pointing at files under workDir()/files.
  TestConfig();

  TestConfig& setString(const std::string& key, const std::string& value);
  TestConfig& setRaw(const std::string& key, const std::string& libconfigText);
  TestConfig& remove(const std::string& key);
  // Path held by a string key (unquoted).
  std::string path(const std::string& key) const;

  void write() const;
  // The file's text as write() writes it, for a file of another path.
  std::string text() const;
  static void writeRaw(const std::string& text);
  static void erase();

 private:
  std::map<std::string, std::string> values_;
};

// ---- TLS -----------------------------------------------------------------------

// A self-signed certificate for 127.0.0.1 (also its subject alternative
// name) and its RSA key (mode 600), made with openssl under workDir()/tls
// once per run and `name` ("server", "rotated": pairs that do not match
// each other). Throws when openssl fails.
struct TestCertificate {
  std::string certificateFile;
  std::string keyFile;
};
const TestCertificate& testCertificate(const std::string& name = "server");

// What the harness's client speaks to the server under test: HTTPS trusting
// only the certificate in `caFile`, or plain HTTP (as at start).
void useHttps(const std::string& caFile);
void usePlainHttp();

// While it lives, the server under test serves HTTPS with `certificate`:
// `config` gets both TLS keys and is written, the server restarts on it, and
// the harness's client (http(), get(), httpWith(), serverUrl()) speaks
// HTTPS trusting that certificate. The destructor, like a constructor that
// throws because the server does not start, takes the keys out of `config`,
// writes it, and restarts the server on plain HTTP.
class TlsServer {
 public:
  explicit TlsServer(TestConfig& config, const TestCertificate& certificate = testCertificate());
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

 private:
  static void restorePlain(TestConfig& config);
  TestConfig& config_;
};

// ---- Stand-ins for outside commands ------------------------------------------

// The scripts in tests/bin (systemctl, suricata, suricatasc, sudo, chown...)
// record each call as one line "name arg1 arg2..." and print and exit as set here.
class StandIns {
 public:
  static std::string dir();
  static void reset();
  static void setExit(const std::string& command, int status);
  static void setOutput(const std::string& command, const std::string& text);
  // Makes `command` wait `seconds` after recording its call (suricata: before
  // it reads its rule file).
  static void setDelay(const std::string& command, int seconds);
  // Process ids of the calls of `command` so far, in order.
  static std::vector<int> pids(const std::string& command);
  static std::vector<std::string> calls();
  // The same calls as the words each program was given, one argument each.
  static std::vector<std::vector<std::string>> argumentVectors();
};

// ---- Named processes -----------------------------------------------------------

// A process whose name (as pgrep sees it) is `name`: a shell script of that
// name that waits on its standard input. Running while the object lives; the
// destructor ends it by its pid and reaps it.
class NamedProcess {
 public:
  explicit NamedProcess(const std::string& name);
  ~NamedProcess();
  NamedProcess(const NamedProcess&) = delete;
  NamedProcess& operator=(const NamedProcess&) = delete;

 private:
  int pid_ = -1;
  int input_ = -1;  // write end of the script's standard input
};

// ---- Fixture -------------------------------------------------------------------

// Base of every integration test: an empty Redis, the default configuration
// written afresh, stand-ins reset.
class IntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  TestConfig config_;
};

}  // namespace harness

#endif  // TESTS_SUPPORT_HARNESS_H_
