// The operational routes called in process: the API description as built
// in, the documentation page's type and policy, the metrics' type, and the
// health report of a configuration that cannot be used.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/ConfigFile_test.h"
#include "ops/Ops.h"

namespace {

http::Request get(const char* pattern) {
  http::Request request;
  request.method = "GET";
  request.pattern = pattern;
  request.path = pattern;
  return request;
}

TEST(OpsRoutesTest, DocumentsCarryTheirTypesAndThePageItsPolicy) {
  std::ifstream file(PAVORA_SOURCE_DIR "/docs/openapi.json", std::ios::binary);
  std::ostringstream document;
  document << file.rdbuf();
  const http::Reply api = http::replyOf(Ops::handleOpenApi(), get("/openapi.json"));
  EXPECT_EQ(api.code, http::Status::kOk);
  EXPECT_EQ(api.body, document.str());
  ASSERT_TRUE(api.contentType);
  EXPECT_STREQ(api.contentType->text, "application/json");

  const http::Reply page = http::replyOf(Ops::handleDocs(), get("/docs"));
  EXPECT_EQ(page.code, http::Status::kOk);
  ASSERT_TRUE(page.contentType);
  EXPECT_STREQ(page.contentType->text, "text/html; charset=utf-8");
  const std::vector<http::Pair> headers = {
      {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"}};
  EXPECT_EQ(page.headers, headers);
  EXPECT_EQ(page.body.find("<script"), std::string::npos);

  const http::Reply metrics = http::replyOf(Ops::handleMetrics(), get("/metrics"));
  EXPECT_EQ(metrics.code, http::Status::kOk);
  ASSERT_TRUE(metrics.contentType);
  EXPECT_STREQ(metrics.contentType->text, "text/plain; version=0.0.4");
  EXPECT_NE(metrics.body.find("# TYPE "), std::string::npos);
}

class OpsHealthTest : public ConfigFileTest {};

TEST_F(OpsHealthTest, AConfigurationThatCannotBeUsedMakesTheServerUnavailable) {
  const std::string path = config::path();
  const struct {
    const char* settings;  // nullptr: no configuration file
    std::string reason;
  } cases[] = {
      {nullptr, "Cannot read " + path + ": FileIOException"},
      {"", "Configuration file " + path + " holds no settings"},
      {"application: {\n settings: { rules_file = ; };\n};\n",
       "Config parse error at line 2: syntax error"},
  };
  for (const auto& c : cases) {
    if (c.settings) {
      writeText(path, c.settings);
    } else {
      removeConfig();
    }
    const http::Reply reply = http::replyOf(Ops::handleHealth(), get("/health"));
    EXPECT_EQ(reply.code, http::Status::kServiceUnavailable) << c.reason;
    ASSERT_TRUE(reply.contentType);
    EXPECT_EQ(*reply.contentType, http::ContentType::kJson);
    Json::Value report;
    std::istringstream body(reply.body);
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), body, &report, nullptr));
    EXPECT_EQ(report["configuration"].asString(), c.reason);
    EXPECT_EQ(report["status"].asString(), "unavailable");
  }
}

}  // namespace
