// The configuration check against a table of broken configurations: each key
// missing, of the wrong type, naming a missing file or an unwritable folder.
#include "common/ConfigCheck.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

class ConfigCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "config_check_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    chmod(root_.c_str(), 0755);
    // Written folders are open to everyone: the check may run as another user.
    mkdir((root_ + "/ok").c_str(), 0777);
    chmod((root_ + "/ok").c_str(), 0777);
    mkdir((root_ + "/ro").c_str(), 0555);
    for (const char* file :
         {"/fast.log", "/geo.mmdb", "/ok/suricata.rules", "/ok/suricata.yaml", "/token"}) {
      write(root_ + file, "x\n");
      chmod((root_ + file).c_str(), 0644);
    }
    values_ = {
        {"fast_file", q("/fast.log")},
        {"geo_file", q("/geo.mmdb")},
        {"country", "\"Nowhere\""},
        {"city", "\"Town\""},
        {"latitude", "55.0"},
        {"longitude", "37.5"},
        {"rules_file", q("/ok/suricata.rules")},
        {"tmp_rule_file", q("/ok/tmp.rules")},
        {"suricata_conf", q("/ok/suricata.yaml")},
        {"additional_rules", q("/ok/additional.rules")},
        {"ioc_full_link", "\"http://127.0.0.1:1/full.zip\""},
        {"ioc_full_file_path", q("/ok")},
        {"ioc_full_file_name", q("/ok/full.csv")},
        {"ioc_local_file_name", q("/ok/threats.json")},
        {"ioc_domain_rules", q("/ok/d.rules")},
        {"ioc_url_rules", q("/ok/u.rules")},
        {"ioc_ip_rules", q("/ok/i.rules")},
        {"ioc_domains_lst", q("/ok/d.lst")},
        {"statistical_events", "( \"alert\", \"flow\" )"},
    };
  }
  void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

  std::string q(const std::string& relative) const { return "\"" + root_ + relative + "\""; }

  // Writes the configuration with `changes` (an empty value removes the key)
  // and returns the problems the check finds, as "key: text" lines.
  std::vector<std::string> check(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> values = values_;
    for (const auto& [key, value] : changes) {
      if (value.empty()) {
        values.erase(key);
      } else {
        values[key] = value;
      }
    }
    std::string text = "application: { settings: {\n";
    for (const auto& [key, value] : values) text += "  " + key + " = " + value + ";\n";
    write(root_ + "/config.conf", text + "}; };\n");
    chmod((root_ + "/config.conf").c_str(), 0644);
    return run(root_ + "/config.conf");
  }

  // The check, as an unprivileged user when the tests run as root (who may
  // write into any folder).
  static std::vector<std::string> run(const std::string& path) {
    if (geteuid() != 0) return lines(config::check(path));
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(ends[0]);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      std::string out;
      for (const std::string& line : lines(config::check(path))) out += line + "\n";
      const ssize_t written = ::write(ends[1], out.data(), out.size());
      _exit(written == static_cast<ssize_t>(out.size()) ? 0 : 4);
    }
    close(ends[1]);
    std::string out;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(ends[0], buffer, sizeof buffer)) > 0) out.append(buffer, got);
    close(ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "check as another user failed";
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
      result.push_back(out.substr(start, end - start));
    }
    return result;
  }

  static std::vector<std::string> lines(const std::vector<config::Problem>& problems) {
    std::vector<std::string> result;
    for (const config::Problem& problem : problems)
      result.push_back(problem.key + ": " + problem.text);
    return result;
  }

  std::string root_;
  std::map<std::string, std::string> values_;
};

TEST_F(ConfigCheckTest, GoodConfigurationHasNoProblem) {
  EXPECT_EQ(check({}), std::vector<std::string>{});
  // The optional keys, when present, are checked too.
  EXPECT_EQ(check({{"api_token_file", q("/token")},
                   {"allowed_origin", "\"https://ui.example\""},
                   {"threshold_file", q("/ok/suricata.rules")}}),
            std::vector<std::string>{});
}

TEST_F(ConfigCheckTest, EveryMissingKeyIsReported) {
  for (const auto& entry : std::map<std::string, std::string>(values_)) {
    EXPECT_EQ(check({{entry.first, ""}}),
              std::vector<std::string>{"application.settings." + entry.first + ": missing"});
  }
}

TEST_F(ConfigCheckTest, BrokenValuesAreReportedWithTheirReason) {
  const struct {
    const char* key;
    std::string value;
    std::string problem;  // the text after "application.settings.<key>: "
  } cases[] = {
      {"latitude", "55", "is an integer, must be a float (55.0, not 55)"},
      {"city", "5", "is an integer, must be a string"},
      {"rules_file", "( \"a\" )", "is a list, must be a string"},
      {"statistical_events", "[ \"alert\" ]",
       "is an array, must be a list of strings ( \"alert\" )"},
      {"statistical_events", "( \"alert\", 5 )", "element 2 is an integer, must be a string"},
      {"geo_file", q("/missing.mmdb"), root_ + "/missing.mmdb: No such file or directory"},
      {"fast_file", q("/ok"), root_ + "/ok: is a folder, not a file"},
      {"rules_file", q("/ro/suricata.rules"),
       root_ + "/ro/suricata.rules: No such file or directory"},
      {"tmp_rule_file", q("/ro/tmp.rules"),
       root_ + "/ro: folder cannot be written: Permission denied"},
      {"ioc_full_file_path", q("/ro"), root_ + "/ro: folder cannot be written: Permission denied"},
      {"ioc_local_file_name", q("/none/threats.json"), root_ + "/none: No such file or directory"},
      {"ioc_ip_rules", q("/fast.log/i.rules"), root_ + "/fast.log: not a folder"},
      {"api_token_file", q("/no-token"), root_ + "/no-token: No such file or directory"},
      {"threshold_file", q("/none/threshold.config"),
       root_ + "/none/threshold.config: No such file or directory"},
      {"threshold_file", "5", "is an integer, must be a string"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        check({{c.key, c.value}}),
        std::vector<std::string>{std::string("application.settings.") + c.key + ": " + c.problem})
        << c.key << " = " << c.value;
  }
}

// The feed refresh's keys: the interval in whole hours, and the day count as
// "/ioc/filter/:n_days" takes it (0 to 2147483647); either alone is a slip.
TEST_F(ConfigCheckTest, RefreshKeysAreCheckedTogether) {
  const std::string hours = "application.settings.ioc_refresh_hours: ";
  const std::string days = "application.settings.ioc_refresh_days: ";
  const struct {
    std::string hoursValue;  // "" leaves the key out
    std::string daysValue;
    std::vector<std::string> problems;
  } cases[] = {
      {"", "", {}},
      {"1", "0", {}},
      {"24", "7", {}},
      {"87840", "2147483647", {}},
      {"0", "7", {hours + "is 0, must be an integer from 1 to 87840"}},
      {"-3", "7", {hours + "is -3, must be an integer from 1 to 87840"}},
      {"87841", "7", {hours + "is 87841, must be an integer from 1 to 87840"}},
      {"24L", "7", {}},
      {"1.0", "7", {hours + "must be an integer from 1 to 87840"}},
      {"\"24\"", "7", {hours + "must be an integer from 1 to 87840"}},
      {"24", "2147483648L", {days + "is 2147483648, must be an integer from 0 to 2147483647"}},
      {"24", "-1", {days + "is -1, must be an integer from 0 to 2147483647"}},
      {"24", "7.0", {days + "must be an integer from 0 to 2147483647"}},
      {"24", "", {days + "missing: application.settings.ioc_refresh_hours needs it"}},
      {"", "7", {days + "is set without application.settings.ioc_refresh_hours: no refresh runs"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check({{"ioc_refresh_hours", c.hoursValue}, {"ioc_refresh_days", c.daysValue}}),
              c.problems)
        << "hours " << c.hoursValue << ", days " << c.daysValue;
  }
}

// The TLS keys: both or neither, and the two files must load and match, as
// the server checks them at start.
TEST_F(ConfigCheckTest, TlsKeysAreCheckedTogetherAndTheirFilesLoaded) {
  for (const char* name : {"server", "other"}) {
    const std::string base = root_ + "/" + name;
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
                           "-nodes -days 2 -subj /CN=127.0.0.1 -keyout " +
                           base + ".key -out " + base + ".crt >/dev/null 2>&1")
                              .c_str()),
              0);
    // Read by the check as another user; the server itself runs as root.
    chmod((base + ".key").c_str(), 0644);
  }
  const std::string certificate = "application.settings.tls_certificate_file: ";
  const std::string key = "application.settings.tls_key_file: ";
  const struct {
    std::string certificateValue;  // "" leaves the key out
    std::string keyValue;
    std::vector<std::string> problems;
  } cases[] = {
      {"", "", {}},
      {q("/server.crt"), q("/server.key"), {}},
      {q("/server.crt"), "", {key + "missing: application.settings.tls_certificate_file needs it"}},
      {"", q("/server.key"), {certificate + "missing: application.settings.tls_key_file needs it"}},
      {"5", q("/server.key"), {certificate + "must be a string, the path of a PEM file"}},
      {q("/server.crt"), "( \"a\" )", {key + "must be a string, the path of a PEM file"}},
      {q("/none.crt"),
       q("/server.key"),
       {certificate + root_ + "/none.crt: No such file or directory"}},
      {q("/server.crt"), q("/server.crt"), {key + root_ + "/server.crt: holds no PEM private key"}},
      {q("/server.crt"),
       q("/other.key"),
       {key + root_ + "/other.key: does not match the certificate " + root_ + "/server.crt"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check({{"tls_certificate_file", c.certificateValue}, {"tls_key_file", c.keyValue}}),
              c.problems)
        << "certificate " << c.certificateValue << ", key " << c.keyValue;
  }
}

TEST_F(ConfigCheckTest, UnreadableOrInvalidFileIsOneProblem) {
  const std::string missing = root_ + "/absent.conf";
  EXPECT_EQ(run(missing),
            std::vector<std::string>{missing + ": cannot be read: No such file or directory"});
  write(root_ + "/bad.conf", "application: { settings: { city = ; }; };\n");
  chmod((root_ + "/bad.conf").c_str(), 0644);
  const std::vector<std::string> problems = run(root_ + "/bad.conf");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind(root_ + "/bad.conf: line 1: ", 0), 0u) << problems[0];
}

}  // namespace
