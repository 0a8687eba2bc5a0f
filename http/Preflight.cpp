// The preflight handler and the server's own preflight answer.
#include "http/Preflight.h"

#include "http/Access.h"
#include "http/Cors.h"
#include "http/Reply.h"

namespace http {

Reply preflightBody(const Request&) { return text(""); }

Handler preflight() { return {{Cors::kRules}, &preflightBody}; }

Reply answerPreflight(const Request& request, const access::Settings& settings) {
  const access::Verdict verdict = access::judge(request, settings);
  Reply reply = verdict.refusal ? *verdict.refusal : text("");
  addCorsHeaders(Cors::kRules, verdict.allowOrigin, reply);
  return reply;
}

}  // namespace http
