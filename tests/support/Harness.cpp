// Integration test harness: processes, configuration, stand-ins and HTTP.
#include "support/Harness.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "common/BuildSettings.h"
#include "common/Configuration.h"

namespace harness {

namespace {

pid_t g_redis = -1;
pid_t g_server = -1;
// The certificate the client trusts while it speaks HTTPS; empty: plain HTTP.
std::string g_trustedCertificate;

bool portAnswers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  close(fd);
  return ok;
}

bool alive(pid_t pid) {
  if (pid <= 0) return false;
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

void stopProcess(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  bool done = waitFor([&] { return !alive(pid); }, std::chrono::milliseconds(5000));
  if (!done) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = -1;
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& logFile,
            const std::vector<std::pair<std::string, std::string>>& env) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void makeDirs(const std::string& path) {
  std::string partial;
  std::stringstream in(path);
  std::string piece;
  while (std::getline(in, piece, '/')) {
    if (piece.empty()) continue;
    partial += "/" + piece;
    mkdir(partial.c_str(), 0755);
  }
}

size_t collectBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t\r\n");
    value = first == std::string::npos ? "" : value.substr(first, last - first + 1);
    static_cast<HttpReply*>(target)->headers.emplace_back(line.substr(0, colon), value);
  }
  return size * count;
}

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

std::string workDir() { return PAVORA_TEST_WORK_DIR; }
std::string supportDir() { return std::string(PAVORA_SOURCE_DIR) + "/tests/support"; }
std::string standInBinDir() { return std::string(PAVORA_SOURCE_DIR) + "/tests/bin"; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void writeFile(const std::string& path, const std::string& content) {
  makeDirs(path.substr(0, path.rfind('/')));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// ---- HTTP -----------------------------------------------------------------

std::optional<std::string> HttpReply::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

size_t HttpReply::headerCount(const std::string& name) const {
  size_t count = 0;
  for (const auto& entry : headers) count += sameName(entry.first, name) ? 1 : 0;
  return count;
}

namespace {

bool setsContentType(const std::vector<std::string>& headers) {
  for (const std::string& header : headers) {
    if (sameName(header.substr(0, header.find(':')), "Content-Type")) return true;
  }
  return false;
}

HttpReply request(const std::vector<std::string>& extraHeaders, const std::string& method,
                  const std::string& path, const std::string& body,
                  std::chrono::milliseconds timeout) {
  HttpReply reply;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  const std::string address = serverUrl(path);
  curl_slist* headers = curl_slist_append(nullptr, "Expect:");
  if (!body.empty() && !setsContentType(extraHeaders)) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
  }
  for (const std::string& header : extraHeaders)
    headers = curl_slist_append(headers, header.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
  if (!g_trustedCertificate.empty()) {
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, g_trustedCertificate.c_str());
  }
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, collectHeader);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply);
  if (!body.empty() || method == "POST") {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
  if (method == "HEAD") curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
  if (curl_easy_perform(curl.get()) == CURLE_OK) {
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
  }
  curl_slist_free_all(headers);
  return reply;
}

}  // namespace

std::string serverUrl(const std::string& path) {
  return (g_trustedCertificate.empty() ? "http" : "https") + std::string("://127.0.0.1:") +
         std::to_string(build_settings::kHttpPort) + path;
}

HttpReply http(const std::string& method, const std::string& path, const std::string& body,
               std::chrono::milliseconds timeout) {
  return request({}, method, path, body, timeout);
}

HttpReply httpWith(const std::vector<std::string>& headers, const std::string& method,
                   const std::string& path, const std::string& body) {
  return request(headers, method, path, body, std::chrono::milliseconds(20000));
}

void expectRulesCorsHeaders(const HttpReply& reply) {
  EXPECT_EQ(reply.headerCount("Access-Control-Allow-Origin"), 1u);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""),
            "GET, POST, PUT, DELETE, OPTIONS");
  EXPECT_EQ(reply.header("Access-Control-Allow-Headers").value_or(""),
            "Origin, X-Requested-With, Content-Type, Accept, Authorization");
}

// ---- Redis ------------------------------------------------------------------

void TestRedis::start() {
  if (alive(g_redis)) return;
  if (portAnswers(build_settings::kRedisPort)) {
    throw std::runtime_error("something already answers on the test Redis port " +
                             std::to_string(build_settings::kRedisPort) +
                             "; the tests only use a Redis they start themselves");
  }
  makeDirs(workDir());
  g_redis = spawn({"redis-server", "--port", std::to_string(build_settings::kRedisPort), "--bind",
                   "127.0.0.1", "--save", "", "--appendonly", "no", "--dir", workDir()},
                  workDir() + "/redis.log", {});
  if (!waitFor([] { return portAnswers(build_settings::kRedisPort); })) {
    throw std::runtime_error("test Redis did not start; see " + workDir() + "/redis.log");
  }
}

void TestRedis::stop() { stopProcess(g_redis); }
void TestRedis::pause() { kill(g_redis, SIGSTOP); }
void TestRedis::resume() { kill(g_redis, SIGCONT); }
bool TestRedis::running() { return alive(g_redis); }

RedisReplyPtr TestRedis::command(const std::vector<std::string>& args) {
  if (!alive(g_redis)) throw std::runtime_error("the test Redis is not running");
  RedisContextPtr context = connectToRedis("127.0.0.1", build_settings::kRedisPort);
  std::vector<const char*> argv;
  std::vector<size_t> lengths;
  for (const auto& a : args) {
    argv.push_back(a.data());
    lengths.push_back(a.size());
  }
  return RedisReplyPtr(static_cast<redisReply*>(
      redisCommandArgv(context.get(), static_cast<int>(argv.size()), argv.data(), lengths.data())));
}

void TestRedis::flushAll() { command({"FLUSHALL"}); }

void TestRedis::rpush(const std::string& key, const std::vector<std::string>& values) {
  std::vector<std::string> args{"RPUSH", key};
  args.insert(args.end(), values.begin(), values.end());
  if (!values.empty()) command(args);
}

// ---- Server -----------------------------------------------------------------

void TestServer::start() { startUnder({}); }

void TestServer::startUnder(const std::vector<std::string>& launcher) {
  if (alive(g_server)) return;
  if (portAnswers(build_settings::kHttpPort)) {
    throw std::runtime_error("something already answers on the test HTTP port " +
                             std::to_string(build_settings::kHttpPort));
  }
  const char* path = std::getenv("PATH");
  const std::string searchPath = standInBinDir() + ":" + (path ? path : "");
  std::vector<std::string> command = launcher;
  command.push_back(PAVORA_SERVER_BINARY);
  g_server = spawn(
      command, workDir() + "/server.log",
      {{"PATH", searchPath}, {"PAVORA_STANDIN_DIR", StandIns::dir()}, {"PAVORA_LOG_STDERR", "1"}});
  if (!waitFor([] { return portAnswers(build_settings::kHttpPort) || !alive(g_server); },
               std::chrono::milliseconds(20000)) ||
      !alive(g_server)) {
    throw std::runtime_error("server did not start; see " + workDir() + "/server.log");
  }
}

void TestServer::stop() { stopProcess(g_server); }

std::optional<int> TestServer::terminate(std::chrono::milliseconds timeout) {
  if (g_server <= 0) return std::nullopt;
  kill(g_server, SIGTERM);
  std::optional<int> exitStatus;
  waitFor(
      [&] {
        int status = 0;
        if (waitpid(g_server, &status, WNOHANG) != g_server) return false;
        exitStatus = status;
        return true;
      },
      timeout);
  if (exitStatus) g_server = -1;
  return exitStatus;
}

void TestServer::restart() {
  stop();
  start();
}

bool TestServer::running() { return alive(g_server); }

int TestServer::pid() { return alive(g_server) ? g_server : -1; }

// ---- The server's log ----------------------------------------------------------

size_t serverLogSize() { return readFile(workDir() + "/server.log").size(); }

std::string serverLogSince(size_t mark) {
  const std::string log = readFile(workDir() + "/server.log");
  return mark < log.size() ? log.substr(mark) : "";
}

bool waitForLog(size_t mark, const std::string& text) {
  return waitFor([&] { return serverLogSince(mark).find(text) != std::string::npos; });
}

// ---- The server's metrics -----------------------------------------------------

double metricSample(const std::string& text, const std::string& series) {
  const size_t at = text.find("\n" + series + " ");
  if (at == std::string::npos) return -1;
  return std::stod(text.substr(at + series.size() + 2));
}

// ---- Configuration -------------------------------------------------------------

TestConfig::TestConfig() {
  const std::string files = workDir() + "/files/";
  const std::pair<const char*, const char*> paths[] = {
      {"fast_file", "fast.log"},
      {"geo_file", "GeoLite2-City.mmdb"},
      {"rules_file", "suricata.rules"},
      {"tmp_rule_file", "tmp.rules"},
      {"suricata_conf", "suricata.yaml"},
      {"additional_rules", "additional.rules"},
      {"ioc_full_file_path", "ioc"},
      {"ioc_full_file_name", "ioc/full.csv"},
      {"ioc_local_file_name", "ioc/threats.json"},
      {"ioc_domain_rules", "ioc/domains.rules"},
      {"ioc_url_rules", "ioc/urls.rules"},
      {"ioc_ip_rules", "ioc/ips.rules"},
      {"ioc_domains_lst", "ioc/domains.lst"},
  };
  for (const auto& [key, file] : paths) setString(key, files + file);
  setString("ioc_full_link", "http://127.0.0.1:1/full.zip");
  setString("country", "Russia");
  setString("city", "Moscow");
  setRaw("latitude", "55.7558");
  setRaw("longitude", "37.6173");
  setRaw("statistical_events", "( \"alert\", \"flow\" )");
}

TestConfig& TestConfig::setString(const std::string& key, const std::string& value) {
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return setRaw(key, quoted + "\"");
}

TestConfig& TestConfig::setRaw(const std::string& key, const std::string& libconfigText) {
  values_[key] = libconfigText;
  return *this;
}

TestConfig& TestConfig::remove(const std::string& key) {
  values_.erase(key);
  return *this;
}

std::string TestConfig::path(const std::string& key) const {
  const std::string& raw = values_.at(key);
  return raw.substr(1, raw.size() - 2);
}

std::string TestConfig::text() const {
  std::string text = "application:\n{\n  settings:\n  {\n";
  for (const auto& [key, value] : values_) text += "    " + key + " = " + value + ";\n";
  return text + "  };\n};\n";
}

void TestConfig::write() const { writeRaw(text()); }

void TestConfig::writeRaw(const std::string& text) {
  makeDirs(workDir() + "/files/ioc");
  writeFile(config::path(), text);
}

void TestConfig::erase() { unlink(config::path()); }

// ---- TLS -------------------------------------------------------------------------

const TestCertificate& testCertificate(const std::string& name) {
  static std::map<std::string, TestCertificate> made;
  const auto found = made.find(name);
  if (found != made.end()) return found->second;
  const std::string base = workDir() + "/tls/" + name;
  makeDirs(workDir() + "/tls");
  const TestCertificate pair{base + ".crt", base + ".key"};
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
      pair.keyFile + "' -out '" + pair.certificateFile + "' >'" + base + ".log' 2>&1";
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("openssl could not make a test certificate; see " + base + ".log");
  }
  chmod(pair.keyFile.c_str(), 0600);
  return made.emplace(name, pair).first->second;
}

void useHttps(const std::string& caFile) { g_trustedCertificate = caFile; }
void usePlainHttp() { g_trustedCertificate.clear(); }

TlsServer::TlsServer(TestConfig& config, const TestCertificate& certificate) : config_(config) {
  config_.setString("tls_certificate_file", certificate.certificateFile)
      .setString("tls_key_file", certificate.keyFile)
      .write();
  TestServer::stop();
  try {
    TestServer::start();
  } catch (...) {
    restorePlain(config_);
    throw;
  }
  useHttps(certificate.certificateFile);
}

TlsServer::~TlsServer() { restorePlain(config_); }

void TlsServer::restorePlain(TestConfig& config) {
  usePlainHttp();
  config.remove("tls_certificate_file").remove("tls_key_file").write();
  TestServer::restart();
}

// ---- Stand-ins -------------------------------------------------------------------

std::string StandIns::dir() { return workDir() + "/standins"; }

void StandIns::reset() {
  makeDirs(dir());
  for (const char* name : {"systemctl", "suricata", "suricatasc", "sudo", "chown", "pgrep"}) {
    for (const char* kind : {".exit", ".out", ".delay", ".pids"}) {
      unlink((dir() + "/" + name + kind).c_str());
    }
  }
  writeFile(dir() + "/calls.log", "");
  writeFile(dir() + "/calls.argv", "");
}

void StandIns::setExit(const std::string& command, int status) {
  writeFile(dir() + "/" + command + ".exit", std::to_string(status) + "\n");
}

void StandIns::setOutput(const std::string& command, const std::string& text) {
  writeFile(dir() + "/" + command + ".out", text);
}

void StandIns::setDelay(const std::string& command, int seconds) {
  writeFile(dir() + "/" + command + ".delay", std::to_string(seconds) + "\n");
}

std::vector<int> StandIns::pids(const std::string& command) {
  std::vector<int> pids;
  std::stringstream in(readFile(dir() + "/" + command + ".pids"));
  int pid = 0;
  while (in >> pid) pids.push_back(pid);
  return pids;
}

std::vector<std::string> StandIns::calls() {
  std::vector<std::string> lines;
  std::stringstream in(readFile(dir() + "/calls.log"));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::vector<std::string>> StandIns::argumentVectors() {
  std::vector<std::vector<std::string>> calls;
  std::stringstream in(readFile(dir() + "/calls.argv"));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> words;
    std::stringstream fields(line);
    std::string word;
    while (std::getline(fields, word, '\x1f')) words.push_back(word);
    calls.push_back(std::move(words));
  }
  return calls;
}

// ---- Named processes ---------------------------------------------------------------

NamedProcess::NamedProcess(const std::string& name) {
  const std::string script = workDir() + "/processes/" + name;
  // `read` is a shell builtin: the script itself waits, with no child of its own.
  writeFile(script, "#!/bin/sh\nread line\n");
  chmod(script.c_str(), 0755);
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipeEnds[0], 0);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execl(script.c_str(), name.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[0]);
  pid_ = pid;
  input_ = pipeEnds[1];
}

NamedProcess::~NamedProcess() {
  close(input_);
  pid_t pid = pid_;
  stopProcess(pid);
}

// ---- Fixture ----------------------------------------------------------------------

void IntegrationTest::SetUp() {
  ASSERT_TRUE(TestRedis::running()) << "the test Redis is not running";
  TestRedis::flushAll();
  config_.write();
  StandIns::reset();
  ASSERT_TRUE(TestServer::running()) << "the server under test is not running";
}

}  // namespace harness
