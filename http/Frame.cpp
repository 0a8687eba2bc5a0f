// The handler frame.
#include "http/Frame.h"

namespace http {

namespace {

Reply replyOf(const Pistache::Rest::Request& request, const Body& body, ErrorReply onError) {
  try {
    return body(request);
  } catch (const Refusal& refusal) {
    return text(refusal.what(), refusal.code());
  } catch (const std::exception& e) {
    return onError(e);
  }
}

}  // namespace

Reply errorText(const std::exception& error) { return http::error(error.what()); }

void serve(Cors cors, const Pistache::Rest::Request& request,
           Pistache::Http::ResponseWriter& response, const Body& body, ErrorReply onError) {
  addCorsHeaders(cors, response);
  send(response, replyOf(request, body, onError));
}

}  // namespace http
