// Helpers shared by the fuzz entries: a property check that stops the run,
// and the cutting of one input into several text fields.
#ifndef FUZZ_FUZZSUPPORT_H_
#define FUZZ_FUZZSUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Stops the run when a property fails, so the fuzzer keeps the input as a
// crash and the replay test fails, whatever the build's NDEBUG.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      __builtin_trap();                                                                  \
    }                                                                                    \
  } while (0)

namespace fuzz {

// The input cut at NUL bytes into at most `count` fields; the last field takes
// the rest, NULs included, and missing fields are empty.
inline std::vector<std::string> fields(const uint8_t* data, size_t size, size_t count) {
  std::vector<std::string> out(count);
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (size_t i = 0; i + 1 < count && !rest.empty(); ++i) {
    const size_t cut = rest.find('\0');
    out[i] = std::string(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (cut == std::string_view::npos) return out;
  }
  out[count - 1] = std::string(rest);
  return out;
}

// The lines of `text` as the rule edits see them: cut at newlines, a last
// line without one still counts, an empty text has none.
inline std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) {
      out.emplace_back(text.substr(begin));
      break;
    }
    out.emplace_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return out;
}

inline bool hasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace fuzz

#endif  // FUZZ_FUZZSUPPORT_H_
