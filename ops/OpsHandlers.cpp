// HTTP handlers of the operational routes.
#include "ops/Ops.h"

#include "common/Metrics.h"
#include "http/Frame.h"
#include "ops/Health.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

constexpr http::Frame kFrame{http::Cors::kStats};

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
