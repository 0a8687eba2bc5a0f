// Memory figures of the server process from "/proc/self/stat".
#include "stats/ProcStat.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace proc_stat {

namespace {

constexpr char kSelfStat[] = "/proc/self/stat";

// Fields 3 to 22 lie between the command name and vsize.
constexpr int kFieldsBeforeVsize = 20;

}  // namespace

std::optional<MemoryFields> parse(const std::string& text) {
  const size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string::npos) return std::nullopt;
  std::istringstream in(text.substr(nameEnd + 1));
  std::string skipped;
  for (int i = 0; i < kFieldsBeforeVsize; ++i) {
    if (!(in >> skipped)) return std::nullopt;
  }
  MemoryFields fields;
  // A leading '-' would wrap an unsigned read; vsize never has one.
  in >> std::ws;
  if (in.peek() == '-' || !(in >> fields.vsize) || !(in >> fields.rss)) return std::nullopt;
  return fields;
}

MemoryUsage toKiB(const MemoryFields& fields, long pageSize) {
  MemoryUsage usage;
  usage.virtualKiB = static_cast<double>(fields.vsize) / 1024.0;
  // Multiplied as doubles: a product past 64 bits must not overflow.
  usage.residentKiB = static_cast<double>(pageSize / 1024) * static_cast<double>(fields.rss);
  return usage;
}

MemoryUsage readSelf() {
  std::ifstream file(kSelfStat);
  std::string line;
  if (!std::getline(file, line)) return MemoryUsage();
  const std::optional<MemoryFields> fields = parse(line);
  return fields ? toKiB(*fields, sysconf(_SC_PAGESIZE)) : MemoryUsage();
}

}  // namespace proc_stat
