// The event writer against the JSON library's own writer. Input: a stored
// event's text. Whatever simdjson reads, the library reads too, and the
// default layout written from simdjson's document is byte for byte what the
// library writes from its own tree, alone and as an element of an array. The
// same input cut at its first NUL also feeds the private-address check,
// whose pieces must read as std::stoi reads them.
#include <json/value.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/JsonLayout.h"
#include "common/JsonText.h"
#include "events/AlertMap.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The check as it read its pieces before: std::stoi on each copied piece.
bool privateByStoi(const std::string& ip) {
  int octets[4];
  size_t count = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = ip.find('.', start);
    const std::string piece = ip.substr(start, dot == std::string::npos ? dot : dot - start);
    int value = 0;
    try {
      value = std::stoi(piece);
    } catch (const std::logic_error&) {
      return false;
    }
    if (count == 4 || value > 255) return false;
    octets[count++] = value;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (count != 4) return false;
  return octets[0] == 10 || (octets[0] == 172 && octets[1] >= 16 && octets[1] <= 31) ||
         (octets[0] == 192 && octets[1] == 168);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string address = fuzz::fields(data, size, 2)[0];
  FUZZ_CHECK(events::check_private_ip(address) == privateByStoi(address));

  static fast_event::Parser fast;
  if (!fast.parse(text.data(), text.size())) return 0;
  Json::Value tree;
  std::string error;
  static const auto reader = event_json::makeReader();
  FUZZ_CHECK(event_json::parse(*reader, text.data(), text.data() + text.size(), tree, error));
  const std::string written = json_text::write(tree);
  FUZZ_CHECK(json_layout::write(fast.root()) == written);

  json_layout::ArrayText array;
  array.add(fast.root());
  array.add(written);
  Json::Value pair(Json::arrayValue);
  pair.append(tree);
  pair.append(tree);
  FUZZ_CHECK(std::move(array).finish() == json_text::write(pair));
  return 0;
}
