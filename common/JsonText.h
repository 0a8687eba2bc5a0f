// Writing JSON documents with the JSON library's default stream-writer
// settings (tab indentation), the form of most replies and stored files, and
// reading a request body that must be exactly one JSON document.
#ifndef COMMON_JSONTEXT_H_
#define COMMON_JSONTEXT_H_

#include <string>

#include <json/value.h>

namespace json_text {

// `value` as text with the default stream-writer settings. Never fails.
std::string write(const Json::Value& value);

// Parses all of `text` as one JSON document with the library's default reader
// settings, except that anything but white space or comments after the
// document, or a byte-order mark before it, makes the text invalid. Returns
// false when the text is not such a document, nesting past the reader's depth
// limit included. Never throws for bad input.
bool parseWhole(const std::string& text, Json::Value& root);

}  // namespace json_text

#endif  // COMMON_JSONTEXT_H_
