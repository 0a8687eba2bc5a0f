// Unpacking a hostile feed archive in memory: no input may crash, leak or
// give more than the bound asked for.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "threats/FeedDownload.h"

namespace {

// Small, so that archives that unpack to much more stop early.
constexpr uint64_t kBound = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string archive(reinterpret_cast<const char*>(data), size);
  try {
    const std::string content = threats::unpackedFeed(archive, kBound);
    FUZZ_CHECK(content.size() <= kBound);
  } catch (const ThreatsException&) {
  }
  return 0;
}
