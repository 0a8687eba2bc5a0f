// The floors of the benchmark: the bare Redis work of a request done from C
// with hiredis (a fresh connection, the lock check, the command), and for
// whole-list routes that fetch plus a validating simdjson parse of every
// element.
#ifndef BENCH_FLOORS_H_
#define BENCH_FLOORS_H_

#include <string>
#include <vector>

namespace bench {

// Redis port of the benchmark's own Redis, set once before any floor runs.
void setFloorPort(int port);

// Fresh connection, "GET lock:ferryd", "LRANGE key start stop".
void floorRange(const std::string& key, int start, int stop);
// Fresh connection, "GET lock:ferryd", "LLEN key", for each key in turn.
void floorCount(const std::vector<std::string>& keys);
// For each key: fresh connection, lock check, "LRANGE key 0 -1", and a
// simdjson parse of every element.
void floorParse(const std::vector<std::string>& keys);

// Every key of the Redis that holds a list, in "KEYS *" order.
std::vector<std::string> listKeys();
// Length of a list and the "flow_id" digits of its element at `index`.
long long listLength(const std::string& key);
std::string flowIdAt(const std::string& key, long long index);

// Resident peak ("VmHWM") of process `pid` in KiB, 0 when unreadable.
long peakResidentKiB(int pid);

}  // namespace bench

#endif  // BENCH_FLOORS_H_
