// For the unit tests: the elements of the demo's sample events, as
// scripts/sample_events.py writes them (one JSON text per Redis element).
#ifndef COMMON_SAMPLEEVENTS_TEST_H_
#define COMMON_SAMPLEEVENTS_TEST_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace sample_events {

// Every JSON element the script pushes, in its order; empty when the script
// cannot be run.
inline std::vector<std::string> elements() {
  const std::string command =
      "python3 " + std::string(PAVORA_SOURCE_DIR) + "/scripts/sample_events.py";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> texts;
  if (!pipe) return texts;
  std::string line;
  for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The protocol's own lines start with '*' or '$'; elements with '{'.
    if (!line.empty() && line.front() == '{') texts.push_back(line);
    line.clear();
  }
  return texts;
}

}  // namespace sample_events

#endif  // COMMON_SAMPLEEVENTS_TEST_H_
