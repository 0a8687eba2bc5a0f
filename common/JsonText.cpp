// Default-style JSON writing shared by replies and stored files.
#include "common/JsonText.h"

#include <json/writer.h>

namespace json_text {

std::string write(const Json::Value& value) {
  static const Json::StreamWriterBuilder kDefaultWriter;
  return Json::writeString(kDefaultWriter, value);
}

}  // namespace json_text
