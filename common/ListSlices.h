// Walking whole Redis lists in slices, so that a request never holds a long
// list as one reply: at most one slice of raw text at a time.
#ifndef COMMON_LISTSLICES_H_
#define COMMON_LISTSLICES_H_

#include <functional>
#include <string>

#include "common/RedisWrapper.h"

namespace list_slices {

// Elements asked for by one LRANGE of a walk.
inline constexpr long long kSliceLength = 4000;

// Runs the LRANGE of elements start..stop (both inclusive) of the walked list.
using Fetch = std::function<RedisReplyPtr(long long start, long long stop)>;

// Given each slice's reply: null when none came, or whatever Redis answered
// (an error reply for a key that holds no list). Returns false to end the walk.
using Visit = std::function<bool(const redisReply* slice)>;

// The walked list's length now (LLEN), or -1 when it cannot tell.
using Length = std::function<long long()>;

// Tells the visitor to drop what it gathered: the walk starts again.
using Restart = std::function<void()>;

// Fetches elements `first` (0 or more) to `last` (-1: to the end of the list)
// in slices of `sliceLength` and hands each reply to `visit`, in list order.
// The walk ends after a reply that is missing, no array or shorter than its
// slice, after `last`, or when `visit` returns false. Throws what `fetch` and
// `visit` throw.
//
// With `length` and `restart` (the whole-list aggregates), the list's length
// is asked after each full slice: when it differs from the length after the
// slice before, the list changed between two slices and one element may
// have been seen twice or not at all, so `restart` is called and the walk
// starts again from `first`, once. After a second change it goes on to the
// end, and the caller answers with what it has.
void walk(const Fetch& fetch, long long first, long long last, const Visit& visit,
          long long sliceLength = kSliceLength, const Length& length = nullptr,
          const Restart& restart = nullptr);

// walk() of the list `key` on one connection of `redis` (its host and port),
// each slice's LRANGE after its own lock wait, as RedisWrapper::executeWithLock
// waits before its command: Unavailable after the lock limit. Throws std::runtime_error when no
// connection can be made or it breaks while waiting. With `restart`, the
// list's LLEN follows each slice's LRANGE on that connection and a change of
// length between slices restarts the walk once, as walk() describes.
void walkWithLock(const RedisWrapper& redis, const std::string& key, long long first,
                  long long last, const Visit& visit, const Restart& restart = nullptr,
                  long long sliceLength = kSliceLength);

}  // namespace list_slices

#endif  // COMMON_LISTSLICES_H_
