// Member reading of stored events with simdjson.
#include "common/FastEvent.h"

namespace fast_event {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

}  // namespace

Parser::Parser()
    // Later parses grow the buffers as needed and keep the depth limit.
    : ready_(parser_.allocate(4096, kMaxDepth) == simdjson::SUCCESS) {}

bool Parser::parse(const char* text, size_t length) {
  return ready_ && parser_.parse(text, length).get(root_) == simdjson::SUCCESS;
}

std::optional<element> find(element from, Path path) {
  element current = from;
  for (std::string_view name : path) {
    simdjson::dom::object object;
    if (current.get(object) != simdjson::SUCCESS) return std::nullopt;
    std::optional<element> last;
    for (const simdjson::dom::key_value_pair field : object) {
      if (field.key == name) last = field.value;
    }
    if (!last) return std::nullopt;
    current = *last;
  }
  return current;
}

std::optional<std::string> textForm(const std::optional<element>& value) {
  if (!value) return std::string();
  switch (value->type()) {
    case element_type::NULL_VALUE: return std::string();
    case element_type::STRING: return std::string(std::string_view(*value));
    case element_type::INT64: return std::to_string(int64_t(*value));
    case element_type::UINT64: return std::to_string(uint64_t(*value));
    case element_type::BOOL: return std::string(bool(*value) ? "true" : "false");
    default: return std::nullopt;
  }
}

std::optional<std::string_view> string(const std::optional<element>& value) {
  if (!value || !value->is_string()) return std::nullopt;
  return std::string_view(*value);
}

std::optional<int64_t> int64OrZero(const std::optional<element>& value) {
  if (!value) return 0;
  switch (value->type()) {
    case element_type::INT64: return int64_t(*value);
    case element_type::DOUBLE: return std::nullopt;
    default: return 0;
  }
}

}  // namespace fast_event
