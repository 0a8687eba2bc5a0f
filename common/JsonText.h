// Writing JSON documents with the JSON library's default stream-writer
// settings (tab indentation), the form of most replies and stored files.
#ifndef COMMON_JSONTEXT_H_
#define COMMON_JSONTEXT_H_

#include <json/value.h>

#include <string>

namespace json_text {

// `value` as text with the default stream-writer settings. Never fails.
std::string write(const Json::Value& value);

}  // namespace json_text

#endif  // COMMON_JSONTEXT_H_
