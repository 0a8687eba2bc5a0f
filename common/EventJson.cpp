// Shared JSON reading of stored events.
#include "common/EventJson.h"

#include <json/writer.h>

#include <cstring>

namespace event_json {

std::unique_ptr<Json::CharReader> makeReader() {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  return std::unique_ptr<Json::CharReader>(builder.newCharReader());
}

std::unique_ptr<Json::CharReader> makeLenientReader() {
  return std::unique_ptr<Json::CharReader>(Json::CharReaderBuilder().newCharReader());
}

bool parse(Json::CharReader& reader, const char* begin, const char* end, Json::Value& out,
           std::string& error) {
  error.clear();
  try {
    return reader.parse(begin, end, &out, &error);
  } catch (const Json::Exception& e) {
    // Arrays or objects nested past the reader's depth limit make it throw
    // rather than fail; such an element is as unreadable as any other.
    error = e.what();
    return false;
  }
}

bool ElementReader::parse(const char* text, size_t length) {
  text_ = text != nullptr ? text : "";
  return event_json::parse(*reader_, text_, text_ + length, event_, error_);
}

std::string textForm(const Json::Value& value) {
  if (value.isNull()) return std::string();
  if (value.isObject() || value.isArray()) {
    Json::StreamWriterBuilder compact;
    compact["indentation"] = "";
    return Json::writeString(compact, value);
  }
  return value.asString();
}

const Json::Value& member(const Json::Value& object, const char* name) {
  static const Json::Value kNull;
  if (!object.isObject()) return kNull;
  const Json::Value* found = object.find(name, name + std::strlen(name));
  return found != nullptr ? *found : kNull;
}

}  // namespace event_json
