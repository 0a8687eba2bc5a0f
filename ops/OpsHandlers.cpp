// HTTP handlers of the operational routes.
#include "ops/Ops.h"

#include <string>
#include <string_view>

#include "common/Metrics.h"
#include "http/Frame.h"
#include "ops/ApiDocuments.h"
#include "ops/Health.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

constexpr http::Frame kFrame{http::Cors::kStats};

// The page styles itself and needs nothing else: no script, no outside load.
constexpr char kDocsPolicy[] = "default-src 'none'; style-src 'unsafe-inline'";

http::Reply document(std::string_view text, const char* mediaType) {
  return http::Reply{Code::Ok, std::string(text),
                     Pistache::Http::Mime::MediaType::fromString(mediaType), {}};
}

}  // namespace

void Ops::handleHealth(const Request& request, ResponseWriter response) {
  http::serve(kFrame, request, response, [](const Request&) {
    const Json::Value report = ops::health();
    http::Reply reply = http::json(report);
    if (!ops::healthy(report)) reply.code = Code::Service_Unavailable;
    return reply;
  });
}

void Ops::handleMetrics(const Request& request, ResponseWriter response) {
  http::serve(kFrame, request, response, [](const Request&) {
    return http::Reply{Code::Ok, metrics::text(),
                       Pistache::Http::Mime::MediaType::fromString("text/plain; version=0.0.4")};
  });
}

void Ops::handleOpenApi(const Request& request, ResponseWriter response) {
  http::serve(kFrame, request, response, [](const Request&) {
    return document(ops::openApiDocument(), "application/json");
  });
}

void Ops::handleDocs(const Request& request, ResponseWriter response) {
  http::serve(kFrame, request, response, [](const Request&) {
    http::Reply reply = document(ops::apiDocsPage(), "text/html; charset=utf-8");
    reply.headers.emplace_back("Content-Security-Policy", kDocsPolicy);
    return reply;
  });
}
