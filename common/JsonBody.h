// Reading a request body: the one reader of every route that takes JSON.
#ifndef COMMON_JSONBODY_H_
#define COMMON_JSONBODY_H_

#include <json/value.h>

#include <optional>
#include <string>

namespace json_body {

// Parses all of `body` as one JSON document with the library's default reader
// settings, except that anything but white space or comments after the
// document, or a byte-order mark before it, makes it invalid. Nothing when the
// body is not such a document, nesting past the reader's depth limit
// included. Never throws for bad input.
std::optional<Json::Value> read(const std::string& body);

// As read, and nothing too when the document is not a JSON object.
std::optional<Json::Value> readObject(const std::string& body);

}  // namespace json_body

#endif  // COMMON_JSONBODY_H_
