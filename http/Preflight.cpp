// The preflight handler and the endpoint's own preflight answer.
#include "http/Preflight.h"

#include "common/Log.h"
#include "http/Access.h"
#include "http/Cors.h"
#include "http/Endpoint.h"
#include "http/Reply.h"

namespace http {

Reply preflightBody(const Request&) { return text(""); }

Handler preflight() { return {{Cors::kRules}, &preflightBody}; }

void answerPreflight(const Pistache::Http::Request& request,
                     Pistache::Http::ResponseWriter response) {
  const access::Verdict verdict = access::judge(requestOf(request));
  addCorsHeaders(Cors::kRules, verdict.allowOrigin, response);
  try {
    send(response, verdict.refusal ? *verdict.refusal : text(""));
  } catch (const std::exception& e) {
    logging::alert("Reply could not be sent: %s", e.what());
  }
}

}  // namespace http
