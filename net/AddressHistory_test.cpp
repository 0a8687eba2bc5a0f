// Reading the list keys from the configuration file, and taking the IPv4
// source address from one stored event.
#include "net/AddressHistory.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

class StatisticalEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pavora_net_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/config++.conf";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  void writeConfig(const std::string& text) { std::ofstream(path_) << text; }

  std::string dir_;
  std::string path_;
};

TEST_F(StatisticalEventsTest, KeysOrTheOneLineOfTheFailure) {
  struct Case {
    const char* name;
    std::string file;  // configuration text; empty: no file at all
    std::vector<std::string> keys;
    std::string stderrLine;  // the one line on standard error, or its start; "" for none
  };
  const std::string head = "application:\n{\n  settings:\n  {\n";
  const std::string tail = "  };\n};\n";
  const Case cases[] = {
      {"list",
       head + "    statistical_events = ( \"alert\", \"dns\", \"flow\" );\n" + tail,
       {"alert", "dns", "flow"},
       ""},
      {"empty list", head + "    statistical_events = ( );\n" + tail, {}, ""},
      {"bracketed array",
       head + "    statistical_events = [ \"alert\", \"dns\" ];\n" + tail,
       {},
       "Error: Expected 'statistical_events' to be an array in configuration file\n"},
      {"single string",
       head + "    statistical_events = \"alert\";\n" + tail,
       {},
       "Error: Expected 'statistical_events' to be an array in configuration file\n"},
      {"missing key",
       head + "    rules_file = \"/x\";\n" + tail,
       {},
       "Setting not found: application.settings.statistical_events\n"},
      {"missing group", "application:\n{\n};\n", {}, "Setting not found: application.settings\n"},
      {"element that is no string",
       head + "    statistical_events = ( \"alert\", 5, \"dns\" );\n" + tail,
       {"alert"},
       "Error: SettingTypeException\n"},
      {"syntax error",
       head + "    statistical_events = ( \"alert\" \n" + tail,
       {},
       "Parse error at " + path_ + ":6 - "},
      {"no file", "", {}, "I/O error while reading file.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(path_.c_str());
    if (!c.file.empty()) writeConfig(c.file);
    testing::internal::CaptureStderr();
    const std::vector<std::string> keys = net::readStatisticalEvents(path_);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(keys, c.keys);
    EXPECT_EQ(errors.rfind(c.stderrLine, 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), c.stderrLine.empty() ? 0 : 1)
        << errors;
  }
}

TEST(SourceAddressTest, OnlyDottedIpv4SourcesCount) {
  struct Case {
    const char* event;
    const char* added;  // nullptr: nothing
  };
  const Case cases[] = {
      {R"({"src_ip":"10.0.0.5","dest_ip":"10.0.0.9"})", "10.0.0.5"},
      {R"({"src_ip":"0.0.0.0"})", "0.0.0.0"},  // left out later, in the document
      {R"({"src_ip":"255.255.255.255"})", "255.255.255.255"},
      {R"({"src_ip":"fe80::1"})", nullptr},
      {R"({"src_ip":"::ffff:10.0.0.5"})", nullptr},
      {R"({"src_ip":"10.0.0.256"})", nullptr},
      {R"({"src_ip":"10.0.0"})", nullptr},
      {R"({"src_ip":" 10.0.0.5"})", nullptr},
      {R"({"src_ip":""})", nullptr},
      {R"({"src_ip":null})", nullptr},
      {R"({"src_ip":167772165})", nullptr},
      {R"({"src_ip":{"v4":"10.0.0.5"}})", nullptr},
      {R"({"dest_ip":"10.0.0.9"})", nullptr},
      {R"(["10.0.0.5"])", nullptr},
      {R"("10.0.0.5")", nullptr},
  };
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    std::set<std::string> addresses;
    const std::string text = c.event;
    net::addSourceIpv4(*reader, text.data(), text.data() + text.size(), addresses);
    if (c.added == nullptr) {
      EXPECT_TRUE(addresses.empty());
    } else {
      EXPECT_EQ(addresses, std::set<std::string>{c.added});
    }
  }
}

TEST(SourceAddressTest, EntryThatIsNotJsonIsReportedAndSkipped) {
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  std::set<std::string> addresses{"10.0.0.1"};
  const std::string text = R"({"src_ip":"10.0.0.5")";
  testing::internal::CaptureStderr();
  net::addSourceIpv4(*reader, text.data(), text.data() + text.size(), addresses);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors.rfind("Error parsing JSON: ", 0), 0u) << errors;
  EXPECT_EQ(addresses, std::set<std::string>{"10.0.0.1"});
}

// The reader throws on arrays nested past its depth limit; the exception left
// the history, and the route answered 500 for one bad entry.
TEST(SourceAddressTest, EntryNestedTooDeeplyIsReportedAndSkipped) {
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  std::set<std::string> addresses{"10.0.0.1"};
  const std::string text = std::string(5000, '[') + std::string(5000, ']');
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(net::addSourceIpv4(*reader, text.data(), text.data() + text.size(), addresses));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors.rfind("Error processing event: ", 0), 0u) << errors;
  EXPECT_EQ(addresses, std::set<std::string>{"10.0.0.1"});
}

}  // namespace
