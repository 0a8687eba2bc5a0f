// Writing the messages of the live event stream.
#include "events/StreamMessages.h"

#include <limits>

namespace events::stream_text {

std::string message(int64_t id, std::string_view event) {
  std::string text = "id: " + std::to_string(id) + "\n";
  text.reserve(text.size() + event.size() + 16);
  size_t start = 0;
  for (;;) {
    const size_t end = event.find_first_of("\r\n", start);
    text += "data: ";
    text.append(event.substr(start, end == std::string_view::npos ? end : end - start));
    text += '\n';
    if (end == std::string_view::npos) break;
    start = end + 1;
    if (event[end] == '\r' && start < event.size() && event[start] == '\n') ++start;
  }
  text += '\n';
  return text;
}

std::string reset(int64_t length) {
  const std::string n = std::to_string(length);
  return "event: reset\nid: " + n + "\ndata: {\"length\":" + n + "}\n\n";
}

std::optional<int64_t> seenLength(std::string_view lastEventId) {
  if (lastEventId.empty() || lastEventId.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (const char c : lastEventId) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
  return static_cast<int64_t>(value);
}

}  // namespace events::stream_text
