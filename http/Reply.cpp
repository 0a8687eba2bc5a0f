// Building and sending replies.
#include "http/Reply.h"

#include <utility>

#include "common/JsonText.h"

namespace http {

Reply json(const Json::Value& value) {
  return {Pistache::Http::Code::Ok, json_text::write(value), MIME(Application, Json)};
}

Reply styledJson(const Json::Value& value) {
  return {Pistache::Http::Code::Ok, value.toStyledString(), MIME(Application, Json)};
}

Reply text(std::string body, Pistache::Http::Code code) {
  return {code, std::move(body), std::nullopt};
}

Reply error(std::string body) {
  return text(std::move(body), Pistache::Http::Code::Internal_Server_Error);
}

Reply unavailable(std::string reason, int retryAfterSeconds) {
  Reply reply = text(std::move(reason), Pistache::Http::Code::Service_Unavailable);
  reply.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
  return reply;
}

void send(Pistache::Http::ResponseWriter& response, const Reply& reply) {
  for (const auto& [name, value] : reply.headers) {
    response.headers().addRaw(Pistache::Http::Header::Raw(name, value));
  }
  if (reply.contentType) {
    response.send(reply.code, reply.body, *reply.contentType);
  } else {
    response.send(reply.code, reply.body);
  }
}

}  // namespace http
