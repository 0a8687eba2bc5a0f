// Default-style JSON writing shared by replies and stored files, and the
// strict reading of request bodies.
#include "common/JsonText.h"

#include <memory>

#include <json/reader.h>
#include <json/writer.h>

namespace json_text {

std::string write(const Json::Value& value) {
  static const Json::StreamWriterBuilder kDefaultWriter;
  return Json::writeString(kDefaultWriter, value);
}

bool parseWhole(const std::string& text, Json::Value& root) {
  static const Json::CharReaderBuilder kWholeDocument = [] {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    builder["skipBom"] = false;
    return builder;
  }();
  const std::unique_ptr<Json::CharReader> reader(kWholeDocument.newCharReader());
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, nullptr);
  } catch (const Json::Exception&) {  // nesting past the reader's depth limit
    return false;
  }
}

}  // namespace json_text
