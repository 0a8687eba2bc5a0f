// Reading stored event texts: the JSON reader the event operations share and
// the text form of a member ("443" for the number 443, "" when absent).
#ifndef COMMON_EVENTJSON_H_
#define COMMON_EVENTJSON_H_

#include <json/reader.h>
#include <json/value.h>

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace event_json {

// A strict reader with comment collection switched off, as every event
// operation uses; one per operation, reused for all its elements.
std::unique_ptr<Json::CharReader> makeReader();

// A lenient reader (the library's default settings: comments allowed and
// collected), for the alert map, the signature statistics and EventItem.
std::unique_ptr<Json::CharReader> makeLenientReader();

// Parses [begin, end) into `out`. Returns false and sets `error` to the
// reader's text when the bytes are not JSON, nesting past the reader's depth
// limit included. Never throws for bad input.
bool parse(Json::CharReader& reader, const char* begin, const char* end, Json::Value& out,
           std::string& error);

// Parses the elements of one list reply in turn, with one reader and one
// value reused for all of them.
class ElementReader {
 public:
  explicit ElementReader(std::unique_ptr<Json::CharReader> reader) : reader_(std::move(reader)) {}

  // Parses the `length` stored bytes at `text` (null: an element that is no
  // string, read as empty) into event(). Returns false, with error() set,
  // when they are not JSON.
  bool parse(const char* text, size_t length);

  Json::Value& event() { return event_; }
  const std::string& error() const { return error_; }
  // NUL-terminated text of the element last given to parse(), for log lines.
  const char* text() const { return text_; }

 private:
  std::unique_ptr<Json::CharReader> reader_;
  Json::Value event_;
  std::string error_;
  const char* text_ = "";
};

// Text form of one member: a string unchanged, a number as its decimal digits,
// a boolean as true or false, null or absent as "", an object or array as
// compact JSON.
std::string textForm(const Json::Value& value);

// The member `name` of `object`, or null when `object` is no JSON object or
// lacks the member: stored events are not trusted to be objects.
const Json::Value& member(const Json::Value& object, const char* name);

}  // namespace event_json

#endif  // COMMON_EVENTJSON_H_
