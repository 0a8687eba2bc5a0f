// Reply helpers shared by the handlers of every subsystem.
#include "server/Reply.h"

#include "common/JsonText.h"

namespace reply {

std::string pathParam(const Pistache::Rest::Request& request, const char* name) {
  return request.param(name).as<std::string>();
}

std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                    const std::string& fallback) {
  return request.query().get(key).value_or(fallback);
}

std::string toJsonText(const Json::Value& value) { return json_text::write(value); }

void sendJson(Pistache::Http::ResponseWriter& response, const Json::Value& value) {
  response.send(Pistache::Http::Code::Ok, toJsonText(value), MIME(Application, Json));
}

void sendText(Pistache::Http::ResponseWriter& response, Pistache::Http::Code code,
              const std::string& body) {
  response.send(code, body);
}

void sendError(Pistache::Http::ResponseWriter& response, const std::string& body) {
  sendText(response, Pistache::Http::Code::Internal_Server_Error, body);
}

}  // namespace reply
