// Preflight handler shared by every OPTIONS route.
#include "http/Preflight.h"

#include <exception>

#include "common/Log.h"
#include "http/Access.h"
#include "http/Cors.h"
#include "http/Frame.h"
#include "http/Reply.h"

void handlePreflightRequest(const Pistache::Rest::Request& request,
                            Pistache::Http::ResponseWriter response) {
  http::serve({http::Cors::kRules}, request, response,
              [](const Pistache::Rest::Request&) { return http::text(""); });
}

namespace http {

void answerPreflight(const Pistache::Http::Request& request,
                     Pistache::Http::ResponseWriter response) {
  const access::Verdict verdict = access::judge(request);
  addCorsHeaders(Cors::kRules, verdict.allowOrigin, response);
  try {
    send(response, verdict.refusal ? *verdict.refusal : text(""));
  } catch (const std::exception& e) {
    logging::alert("Reply could not be sent: %s", e.what());
  }
}

}  // namespace http
