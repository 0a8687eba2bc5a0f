// The URL helpers: splitting into parts, the host without its port, and the
// percent-decoding of request values.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "common/Url.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool hasUpper(const std::string& text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  url parts;
  parts.parse(text);
  FUZZ_CHECK(!hasUpper(parts.protocol) && !hasUpper(parts.host));
  FUZZ_CHECK(parts.host.find('/') == std::string::npos);
  FUZZ_CHECK(parts.path.empty() || parts.path[0] == '/');
  FUZZ_CHECK(parts.path.find('?') == std::string::npos);
  if (text.find("://") != std::string::npos) {
    FUZZ_CHECK(parts.protocol.size() + 3 + parts.host.size() + parts.path.size() +
                   (parts.query.empty() ? 0 : parts.query.size() + 1) <=
               text.size());
  }

  const std::string host = extract_host_without_port(parts.host);
  FUZZ_CHECK(host.find(':') == std::string::npos);
  FUZZ_CHECK(parts.host.compare(0, host.size(), host) == 0);

  try {
    const std::string decoded = urlDecode(text);
    FUZZ_CHECK(decoded.size() <= text.size());
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
