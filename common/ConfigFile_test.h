// A configuration file of its own for a test that calls route bodies in
// process: the bodies read the file compiled into the test build
// (config::path()), so the fixture writes its settings there, beside a temp
// folder for the files they name, and puts back what was there before.
#ifndef COMMON_CONFIGFILE_TEST_H_
#define COMMON_CONFIGFILE_TEST_H_

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/Configuration.h"

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream old(config::path(), std::ios::binary);
    if (old) {
      std::ostringstream text;
      text << old.rdbuf();
      saved_ = text.str();
    }
    const std::string configPath = config::path();
    mkdir(configPath.substr(0, configPath.rfind('/')).c_str(), 0755);
    dir_ = "/tmp/pavora-routes-XXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
  }

  void TearDown() override {
    if (saved_) {
      writeText(config::path(), *saved_);
    } else {
      unlink(config::path());
    }
    for (const std::string& file : files_) unlink(file.c_str());
    rmdir(dir_.c_str());
  }

  // Writes "application.settings" with `settings` ({"rules_file", "\"/x\""}:
  // values in libconfig syntax) as the configuration file.
  void writeSettings(const std::vector<std::pair<std::string, std::string>>& settings) {
    std::string text = "application:\n{\n  settings:\n  {\n";
    for (const auto& [key, value] : settings) text += "    " + key + " = " + value + ";\n";
    writeText(config::path(), text + "  };\n};\n");
  }

  // Leaves the test without a configuration file.
  void removeConfig() { unlink(config::path()); }

  // Writes `text` to `name` in the temp folder and returns its path.
  std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    writeText(path, text);
    files_.push_back(path);
    return path;
  }

  std::string readFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // `path` as a libconfig string value.
  static std::string quoted(const std::string& path) { return "\"" + path + "\""; }

  static void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }

  std::string dir_;

 private:
  std::optional<std::string> saved_;
  std::vector<std::string> files_;
};

#endif  // COMMON_CONFIGFILE_TEST_H_
