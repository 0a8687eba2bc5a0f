// Building replies.
#include "http/Reply.h"

#include <utility>

#include "common/JsonText.h"

namespace http {

Reply json(const Json::Value& value) {
  return {Status::kOk, json_text::write(value), ContentType::kJson, {}};
}

Reply styledJson(const Json::Value& value) {
  return {Status::kOk, value.toStyledString(), ContentType::kJson, {}};
}

Reply text(std::string body, Status code) { return {code, std::move(body), std::nullopt, {}}; }

Reply error(std::string body) { return text(std::move(body), Status::kInternalServerError); }

Reply jsonText(std::string text) { return {Status::kOk, std::move(text), ContentType::kJson, {}}; }

Reply eventStream(std::shared_ptr<BodyStream> stream) {
  Reply reply{Status::kOk, "", ContentType::kEventStream, {{"Cache-Control", "no-cache"}}, {}};
  reply.stream = std::move(stream);
  return reply;
}

Reply withTotalCount(Reply page, uint64_t total) {
  page.headers.emplace_back("X-Total-Count", std::to_string(total));
  page.headers.emplace_back("Access-Control-Expose-Headers", "X-Total-Count");
  return page;
}

Reply unavailable(std::string reason, int retryAfterSeconds) {
  Reply reply = text(std::move(reason), Status::kServiceUnavailable);
  reply.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
  return reply;
}

}  // namespace http
