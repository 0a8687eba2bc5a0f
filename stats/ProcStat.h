// The process's own memory use, from the text of "/proc/self/stat": a pure
// parser and the arithmetic apart from the reader of the real file.
#ifndef STATS_PROCSTAT_H_
#define STATS_PROCSTAT_H_

#include <cstdint>
#include <optional>
#include <string>

namespace proc_stat {

// Fields 23 and 24 of a "/proc/<pid>/stat" line.
struct MemoryFields {
  uint64_t vsize = 0;  // virtual memory size, bytes
  int64_t rss = 0;     // resident set size, pages
};

// Memory figures in KiB, as the statistics snapshot reports them.
struct MemoryUsage {
  double virtualKiB = 0.0;
  double residentKiB = 0.0;
};

// Reads vsize and rss from one stat line. The command name (field 2) sits in
// parentheses and may itself hold blanks and parentheses, so counting starts
// after its last ')'. Returns nullopt when the line ends early or a field is
// not a number.
std::optional<MemoryFields> parse(const std::string& text);

// virtual = vsize / 1024 with its fraction; resident = (pageSize / 1024, in
// integer arithmetic) * rss, multiplied as doubles so that no rss overflows.
MemoryUsage toKiB(const MemoryFields& fields, long pageSize);

// Reads "/proc/self/stat"; both figures are 0 when it cannot be read or parsed.
MemoryUsage readSelf();

}  // namespace proc_stat

#endif  // STATS_PROCSTAT_H_
