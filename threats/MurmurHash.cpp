// MurmurHash64A: multiplier 0xc6a4a7935bd1e995, shift 47, all arithmetic modulo 2^64.
#include "threats/MurmurHash.h"

namespace {

// Up to 8 bytes as one little-endian number, first byte lowest.
uint64_t littleEndian(const unsigned char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

}  // namespace

uint64_t MurmurHash64A(const void* key, size_t length, uint64_t seed) {
  constexpr uint64_t m = 0xc6a4a7935bd1e995ULL;
  constexpr int r = 47;
  const auto* data = static_cast<const unsigned char*>(key);

  uint64_t h = seed ^ (length * m);
  const size_t words = length / 8;
  for (size_t i = 0; i < words; ++i) {
    uint64_t k = littleEndian(data + 8 * i, 8);
    k *= m;
    k ^= k >> r;
    k *= m;
    h ^= k;
    h *= m;
  }
  const size_t rest = length % 8;
  if (rest > 0) {
    h ^= littleEndian(data + 8 * words, rest);
    h *= m;
  }
  h ^= h >> r;
  h *= m;
  h ^= h >> r;
  return h;
}
