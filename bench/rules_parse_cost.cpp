// Cost of one parse of a rules file, without HTTP, the file cache or the
// machine's load in the way: reads the file once, then constructs the
// ParsedRules of it `times` times from fresh copies and prints what the last
// parse holds. Built against a source tree by bench/rules_parse_cost.sh,
// which counts the instructions of the constructor under callgrind: the
// count does not move with the load of a shared machine, as wall time does.
// Only the constructor and rules() are used, so the same program builds
// against an older reader for comparison.
//
// usage: rules_parse_cost FILE [TIMES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/FileCache.h"
#include "rules/ParsedRules.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [TIMES]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  const long times = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1;

  size_t rules = 0;
  uint64_t sids = 0;
  uint64_t revs = 0;
  uint64_t fieldBytes = 0;
  double fastest = 0;
  for (long i = 0; i < times; ++i) {
    file_cache::FileText copy = file_cache::FileText::copyOf(text);
    const auto start = std::chrono::steady_clock::now();
    const ParsedRules parse(std::move(copy));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (i == 0 || ms < fastest) fastest = ms;
    rules = parse.rules().size();
    sids = revs = fieldBytes = 0;
    for (const auto& rule : parse.rules()) {
      sids += rule.sid;
      revs += rule.rev;
      fieldBytes += rule.msg.size() + rule.classtype.size() + rule.action.size() +
                    rule.protocol.size() + rule.content.size();
    }
  }
  // The sums show that two builds read the same fields (where their readers
  // agree); the time is only a hint on a loaded machine.
  std::printf("rules %zu  sid sum %llu  rev sum %llu  field bytes %llu  fastest %.2f ms\n", rules,
              static_cast<unsigned long long>(sids), static_cast<unsigned long long>(revs),
              static_cast<unsigned long long>(fieldBytes), fastest);
  return 0;
}
