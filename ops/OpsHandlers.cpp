// HTTP handlers of the operational routes.
#include <string>
#include <string_view>

#include "common/Metrics.h"
#include "http/Frame.h"
#include "ops/ApiDocuments.h"
#include "ops/Health.h"
#include "ops/Ops.h"

using http::Request;
using http::Status;

namespace {

constexpr http::Frame kFrame{http::Cors::kStats};

// The page styles itself and needs nothing else: no script, no outside load.
constexpr char kDocsPolicy[] = "default-src 'none'; style-src 'unsafe-inline'";

http::Reply document(std::string_view text, const char* mediaType) {
  return http::Reply{Status::kOk, std::string(text), http::ContentType{mediaType}, {}};
}

}  // namespace

http::Handler Ops::handleHealth() {
  return {kFrame, [](const Request&) {
            const Json::Value report = ops::health();
            http::Reply reply = http::json(report);
            if (!ops::healthy(report)) reply.code = Status::kServiceUnavailable;
            return reply;
          }};
}

http::Handler Ops::handleMetrics() {
  return {kFrame, [](const Request&) {
            return http::Reply{
                Status::kOk, metrics::text(), http::ContentType{"text/plain; version=0.0.4"}, {}};
          }};
}

http::Handler Ops::handleOpenApi() {
  return {kFrame,
          [](const Request&) { return document(ops::openApiDocument(), "application/json"); }};
}

http::Handler Ops::handleDocs() {
  return {kFrame, [](const Request&) {
            http::Reply reply = document(ops::apiDocsPage(), "text/html; charset=utf-8");
            reply.headers.emplace_back("Content-Security-Policy", kDocsPolicy);
            return reply;
          }};
}
