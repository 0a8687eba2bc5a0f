// For the unit tests: list reads answered from tables held in memory, with the
// daemon's lock and its rewrites of a list between two reads played on cue.
#ifndef EVENTS_MEMORYLISTREADER_TEST_H_
#define EVENTS_MEMORYLISTREADER_TEST_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "events/ListReader.h"

namespace events {

// Answers as Redis answers (the same reply structures, built from the
// protocol's text): LRANGE and LINDEX count from the head, negative indexes
// from the tail, bounds that are no integer and keys of another type get error
// replies, a missing key reads as an empty list. Walks run list_slices::walk
// itself, in slices of `sliceLength`. Reads are numbered from 1 in the order
// they wait for the lock: a page, each slice of a walk, a length, an element,
// the key listing and each type check.
class MemoryListReader : public ListReader {
 public:
  using Change = std::function<void(MemoryListReader&)>;

  explicit MemoryListReader(long long sliceLength = 2) : sliceLength_(sliceLength) {}

  // The list `key`, made when missing.
  std::vector<std::string>& list(const std::string& key) { return lists_[key]; }
  // `key` holds a string, no list.
  void setText(const std::string& key) { texts_[key] = "x"; }

  // Runs `change` when read number `read` starts its lock wait: what the
  // daemon does while it holds the lock.
  void beforeRead(int read, Change change) { changes_.emplace(read, std::move(change)); }
  // The next `reads` reads each find the lock held and wait once for it.
  void holdLock(int reads) { heldReads_ += reads; }
  // Every read from now on gives up waiting: Unavailable.
  void holdLockForever() { heldForever_ = true; }
  // Read number `read` gets no reply, as when the connection breaks.
  void loseReply(int read) { lostRead_ = read; }

  int reads() const { return reads_; }
  int lockWaits() const { return lockWaits_; }
  // The LRANGE bounds each read of a slice or page asked for, in order.
  const std::vector<std::pair<long long, long long>>& ranges() const { return ranges_; }

  ListReply page(const std::string& key, const std::string& start, const std::string& stop,
                 int64_t* length = nullptr) const override;
  void walk(const std::string& key, long long first, long long last, const Visit& visit,
            const Restart& restart = nullptr) const override;
  ListReply length(const std::string& key) const override;
  ListReply element(const std::string& key, long long index) const override;
  ListReply keys() const override;
  bool holdsList(const std::string& key) const override;

 private:
  // Starts a read: runs its change, waits out the lock. False when it gets no reply.
  bool startRead() const;
  // The protocol text of "LRANGE key start stop" / "LLEN key" as Redis answers them.
  std::string rangeText(const std::string& key, long long start, long long stop) const;
  std::string lengthText(const std::string& key) const;

  long long sliceLength_;
  std::map<std::string, std::vector<std::string>> lists_;
  std::map<std::string, std::string> texts_;
  // Reads change the store's state as the daemon would: mutable, as the
  // reads are const to the operations.
  mutable std::multimap<int, Change> changes_;
  mutable int reads_ = 0;
  mutable int lockWaits_ = 0;
  mutable int heldReads_ = 0;
  mutable std::vector<std::pair<long long, long long>> ranges_;
  bool heldForever_ = false;
  int lostRead_ = 0;
};

}  // namespace events

#endif  // EVENTS_MEMORYLISTREADER_TEST_H_
