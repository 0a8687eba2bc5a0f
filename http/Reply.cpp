// Building and sending replies.
#include "http/Reply.h"

#include <functional>
#include <memory>
#include <ostream>
#include <utility>

#include "common/JsonText.h"

namespace http {

namespace {

// A header the library has no class for, sent as "name: value". The library
// sends only headers of a class; those it merely received stay raw.
class NamedHeader : public Pistache::Http::Header::Header {
 public:
  NamedHeader(std::string name, std::string value)
      : name_(std::move(name)), value_(std::move(value)) {}
  const char* name() const override { return name_.c_str(); }
  void write(std::ostream& stream) const override { stream << value_; }
#ifdef SAFE_HEADER_CAST
  uint64_t hash() const override { return std::hash<std::string>{}(name_); }
#endif

 private:
  std::string name_;
  std::string value_;
};

}  // namespace

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

Reply jsonText(std::string text) {
  return {Pistache::Http::Code::Ok, std::move(text), MIME(Application, Json), {}};
}

Reply withTotalCount(Reply page, uint64_t total) {
  page.headers.emplace_back("X-Total-Count", std::to_string(total));
  page.headers.emplace_back("Access-Control-Expose-Headers", "X-Total-Count");
  return page;
}

Reply unavailable(std::string reason, int retryAfterSeconds) {
  Reply reply = text(std::move(reason), Pistache::Http::Code::Service_Unavailable);
  reply.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
  return reply;
}

void addHeader(Pistache::Http::ResponseWriter& response, std::string name, std::string value) {
  response.headers().add(std::make_shared<NamedHeader>(std::move(name), std::move(value)));
}

void send(Pistache::Http::ResponseWriter& response, const Reply& reply) {
  for (const auto& [name, value] : reply.headers) addHeader(response, name, value);
  if (reply.contentType) {
    response.send(reply.code, reply.body, *reply.contentType);
  } else {
    response.send(reply.code, reply.body);
  }
}

}  // namespace http
