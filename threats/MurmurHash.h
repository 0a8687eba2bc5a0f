// MurmurHash64A, the 64-bit hash that names an indicator (its uid).
#ifndef THREATS_MURMURHASH_H_
#define THREATS_MURMURHASH_H_

#include <cstddef>
#include <cstdint>

// Hash of `length` bytes at `key`, read in 8-byte little-endian words whatever
// the host's byte order. This function can't fail.
uint64_t MurmurHash64A(const void* key, size_t length, uint64_t seed);

#endif  // THREATS_MURMURHASH_H_
