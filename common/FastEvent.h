// Reading a few members of stored events with simdjson's validating parser,
// for the routes that scan whole lists. Whatever this reader cannot settle
// exactly as the jsoncpp reader would (text it refuses, members whose text
// form needs jsoncpp's number formatting) is reported as undecided, and the
// caller reads that element with jsoncpp as before.
#ifndef COMMON_FASTEVENT_H_
#define COMMON_FASTEVENT_H_

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace fast_event {

// A member path from the root: {"alert", "signature"}.
using Path = std::initializer_list<std::string_view>;

// One parser per operation, reused for all its elements (its buffers grow to
// the longest element and stay).
class Parser {
 public:
  Parser();

  // Parses [text, text + length) completely (every value is checked, not only
  // the ones read later). Returns false when simdjson refuses the text: not
  // JSON, invalid UTF-8, integers past 64 bits, nesting deeper than
  // kMaxDepth, and what jsoncpp tolerates but JSON does not (comments,
  // trailing commas, text after the value). Never throws.
  bool parse(const char* text, size_t length);

  // Root of the document last parsed successfully.
  simdjson::dom::element root() const { return root_; }

  // Deeper documents are left to jsoncpp, whose own depth limit decides.
  static constexpr size_t kMaxDepth = 64;

 private:
  simdjson::dom::parser parser_;
  // False when the buffers could not be set up with kMaxDepth: then nothing
  // parses here and jsoncpp reads every element.
  bool ready_;
  simdjson::dom::element root_;
};

// The member at `path` below `from`, taking the last of duplicate names as
// jsoncpp does. Absent when a step is missing or is not an object.
std::optional<simdjson::dom::element> find(simdjson::dom::element from, Path path);

// The member's text as event_json::textForm gives it (strings as they are,
// integers in decimal, true/false, "" for null or absent), or nullopt when it
// is a real number, an object or an array, whose form jsoncpp must write.
std::optional<std::string> textForm(const std::optional<simdjson::dom::element>& value);

// The member's string when it is a JSON string; nullopt otherwise.
std::optional<std::string_view> string(const std::optional<simdjson::dom::element>& value);

// What jsoncpp's isInt64() ? asInt64() : 0 gives: a signed 64-bit integer as
// it is and 0 for anything but a number; nullopt for a real number (which
// jsoncpp takes when it is integral) and an unsigned one past the signed range
// is 0, as jsoncpp has it.
std::optional<int64_t> int64OrZero(const std::optional<simdjson::dom::element>& value);

}  // namespace fast_event

#endif  // COMMON_FASTEVENT_H_
