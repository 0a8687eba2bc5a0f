// GET "/events/fast": Suricata's fast.log with its newest line first.
#include "support/EventReplies.h"

namespace {

using harness::get;

class FastLogTest : public harness::IntegrationTest {};

TEST_F(FastLogTest, LinesComeNewestFirst) {
  const std::pair<std::string, std::string> cases[] = {
      {"one\ntwo\nthree\n", "three\ntwo\none\n"},
      {"one\ntwo\nthree", "three\ntwo\none\n"},
      {"", ""},
      {"only\n", "only\n"},
      {"a\n\nb\n", "b\n\na\n"},
  };
  for (const auto& [content, body] : cases) {
    SCOPED_TRACE(content);
    harness::writeFile(config_.path("fast_file"), content);
    harness::expectEventsText(get("/events/fast"), 200, body);
  }
}

TEST_F(FastLogTest, ErrorReplies) {
  const std::string missing = harness::workDir() + "/files/no-such-fast.log";
  config_.setString("fast_file", missing).write();
  harness::expectEventsText(get("/events/fast"), 500, "Failed to open log file: " + missing);

  // A folder opens but cannot be read: an error, not an empty log.
  config_.setString("fast_file", harness::workDir() + "/files").write();
  harness::expectEventsText(get("/events/fast"), 500,
                            "Failed to read log file: " + harness::workDir() + "/files");

  config_.remove("fast_file").write();
  harness::expectEventsText(get("/events/fast"), 500,
                            "Missing 'application.settings.fast_file' in configuration.");

  harness::TestConfig::writeRaw("application:\n{\n  settings = ;\n};\n");
  harness::expectEventsText(get("/events/fast"), 500,
                            "Failed to parse configuration file at line 3: syntax error");

  harness::TestConfig::erase();
  harness::expectEventsText(get("/events/fast"), 500,
                            "Failed to read configuration file: File I/O error.");
}

}  // namespace
