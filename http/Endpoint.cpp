// The adapter between the HTTP library and the server's own request and reply.
#include "http/Endpoint.h"

#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <utility>

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

// Fills what every request has: method, path, query, headers, body, peer.
// The library keeps one value per query key and per header name, and the
// headers it knows apart from the others: they come typed first, then raw.
void fill(const Pistache::Http::Request& from, Request& to) {
  to.method = Pistache::Http::methodString(from.method());
  to.path = from.resource();
  for (auto it = from.query().parameters_begin(); it != from.query().parameters_end(); ++it) {
    to.query.emplace_back(it->first, it->second);
  }
  for (const auto& typed : from.headers().list()) {
    std::ostringstream value;
    typed->write(value);
    to.headers.emplace_back(typed->name(), value.str());
  }
  for (const auto& [name, raw] : from.headers().rawList()) {
    to.headers.emplace_back(raw.name(), raw.value());
  }
  to.body = from.body();
  to.peer = from.address().host();
}

// The ":name" segments of `pattern`, in order.
std::vector<std::string> segmentNames(const char* pattern) {
  std::vector<std::string> names;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p != ':' || (p != pattern && p[-1] != '/')) continue;
    const char* end = p;
    while (*end != '\0' && *end != '/') ++end;
    names.emplace_back(p, end);
    p = end - 1;
  }
  return names;
}

Pistache::Http::Mime::MediaType mediaTypeOf(ContentType type) {
  if (type == ContentType::kJson) return MIME(Application, Json);
  if (type == ContentType::kHtml) return MIME(Text, Html);
  if (type == ContentType::kPlain) return MIME(Text, Plain);
  return Pistache::Http::Mime::MediaType::fromString(type.text);
}

}  // namespace

Request requestOf(const Pistache::Rest::Request& request, const char* pattern) {
  Request owned;
  fill(request, owned);
  owned.pattern = pattern;
  for (std::string& name : segmentNames(pattern)) {
    std::string value = request.param(name).as<std::string>();
    owned.segments.emplace_back(std::move(name), std::move(value));
  }
  return owned;
}

Request requestOf(const Pistache::Http::Request& request) {
  Request owned;
  fill(request, owned);
  return owned;
}

void addHeader(Pistache::Http::ResponseWriter& response, std::string name, std::string value) {
  response.headers().add(std::make_shared<NamedHeader>(std::move(name), std::move(value)));
}

void send(Pistache::Http::ResponseWriter& response, const Reply& reply) {
  for (const auto& [name, value] : reply.headers) addHeader(response, name, value);
  const auto code = static_cast<Pistache::Http::Code>(codeOf(reply.code));
  if (reply.contentType) {
    response.send(code, reply.body, mediaTypeOf(*reply.contentType));
  } else {
    response.send(code, reply.body);
  }
}

}  // namespace http
