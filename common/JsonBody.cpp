// The strict reading of request bodies.
#include "common/JsonBody.h"

#include <json/reader.h>

#include <memory>

namespace json_body {

std::optional<Json::Value> read(const std::string& body) {
  static const Json::CharReaderBuilder kWholeDocument = [] {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    builder["skipBom"] = false;
    return builder;
  }();
  const std::unique_ptr<Json::CharReader> reader(kWholeDocument.newCharReader());
  Json::Value document;
  try {
    if (!reader->parse(body.data(), body.data() + body.size(), &document, nullptr)) {
      return std::nullopt;
    }
  } catch (const Json::Exception&) {  // nesting past the reader's depth limit
    return std::nullopt;
  }
  return document;
}

std::optional<Json::Value> readObject(const std::string& body) {
  std::optional<Json::Value> document = read(body);
  if (document && !document->isObject()) return std::nullopt;
  return document;
}

}  // namespace json_body
