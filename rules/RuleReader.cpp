// One pass over a rule's text: the header tokens, then the options.
#include "rules/RuleReader.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view kUnknown = "unknown";
constexpr std::string_view kUnlnown = "unlnown";  // the stored fallback, spelled so
constexpr std::string_view kUndefined = "undefined";

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Header tokens end at any of " .,;:!()#", as the front end has always read
// the action and the protocol (a leading "#" never shows in them).
struct HeaderDelimiters {
  constexpr HeaderDelimiters() : is{} {
    for (const char c : std::string_view(" .,;:!()#")) is[static_cast<unsigned char>(c)] = true;
  }
  bool is[256];
};
constexpr HeaderDelimiters kHeader;

bool endsToken(char c) { return kHeader.is[static_cast<unsigned char>(c)]; }

// The first header token at or after `from`; empty when there is none.
std::string_view tokenFrom(std::string_view line, size_t from) {
  while (from < line.size() && endsToken(line[from])) ++from;
  size_t to = from;
  while (to < line.size() && !endsToken(line[to])) ++to;
  return line.substr(from, to - from);
}

const char* skipBlanks(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  return p;
}

// The end of [begin, end) without its trailing blanks.
const char* trimBlanks(const char* begin, const char* end) {
  while (end > begin && isBlank(end[-1])) --end;
  return end;
}

std::string_view between(const char* begin, const char* end) {
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

// The first byte at or after `p` that is one of `Stops`, or `end`. 16 bytes at
// a time: option values are most of a rule's bytes, and even a short keyword
// is found in one step.
template <char... Stops>
const char* findFirst(const char* p, const char* end) {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_setzero_si128();
    ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(Stops)))), ...);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return p + __builtin_ctz(mask);
  }
#endif
  for (; p < end; ++p) {
    if (((*p == Stops) || ...)) return p;
  }
  return end;
}

// The end of the option value that starts at `p`: the first ";" that is
// neither escaped by a backslash nor inside double quotes, or `end`. Inside
// quotes only a quote or a backslash matters. `open` tells whether the value
// ends inside a quote that is never closed.
const char* valueEnd(const char* p, const char* end, bool& open) {
  bool quoted = false;
  while (p < end) {
    // Most values are a plain word, or a quoted text with its ";" right
    // after the closing quote: the byte at hand is looked at before a search.
    if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else if (*p == '\\') {
      // The escaped byte is skipped, whatever it is.
      p = end - p > 2 ? p + 2 : end;
    } else if (*p == ';' && !quoted) {
      break;
    } else {
      p = quoted ? findFirst<'"', '\\'>(p, end) : findFirst<'"', '\\', ';'>(p, end);
    }
  }
  open = quoted;
  return p;
}

// A sid or rev value: decimal digits of a number up to 4294967295.
bool toNumber(std::string_view text, uint32_t& number) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 4294967295u) return false;
  }
  number = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

RuleOptions::RuleOptions(std::string_view line) : at_(nullptr), end_(nullptr) {
  const void* open = std::memchr(line.data(), '(', line.size());
  if (open == nullptr) return;
  at_ = static_cast<const char*>(open) + 1;
  end_ = line.data() + line.size();
  while (end_ > at_ && isSpace(end_[-1])) --end_;
  if (end_ > at_ && end_[-1] == ')') --end_;
}

bool RuleOptions::next(RuleOption& option) {
  return nextKeyword(option.keyword) && value(option.value);
}

bool RuleOptions::nextKeyword(std::string_view& keyword) {
  while (true) {
    at_ = skipBlanks(at_, end_);
    if (at_ >= end_) return false;
    const char* const begin = at_;
    // Quotes and escapes mean nothing before the ":".
    at_ = findFirst<':', ';'>(at_, end_);
    keyword = between(begin, trimBlanks(begin, at_));
    hasValue_ = at_ < end_ && *at_ == ':';
    if (at_ < end_) ++at_;  // the ":", or the ";" of an option without a value
    if (!keyword.empty()) return true;
    if (!skipValue()) return false;
  }
}

bool RuleOptions::value(std::string_view& value) {
  value = std::string_view();
  if (!hasValue_) return true;
  const char* const begin = skipBlanks(at_, end_);
  if (!endValue(begin)) return false;
  value = between(begin, trimBlanks(begin, at_));
  if (at_ < end_) ++at_;
  return true;
}

bool RuleOptions::skipValue() {
  if (!hasValue_) return true;
  if (!endValue(at_)) return false;
  if (at_ < end_) ++at_;
  return true;
}

bool RuleOptions::endValue(const char* from) {
  bool open = false;
  at_ = valueEnd(from, end_, open);
  return !open;  // at_ is end_ then: nothing after it is read
}

bool readRule(std::string_view line, RuleView& rule) {
  // The fields still to find; reading stops once all four are found. Only
  // their values are cut out, every other option is only skipped.
  enum : unsigned { kSid = 1, kRev = 2, kMsg = 4, kClasstype = 8 };
  unsigned missing = kSid | kRev | kMsg | kClasstype;
  rule.rev = 0;
  rule.msg = kUndefined;
  rule.classtype = kUnlnown;
  RuleOptions options(line);
  std::string_view keyword;
  std::string_view value;
  while (missing != 0 && options.nextKeyword(keyword)) {
    // By length first: most keywords are neither 3 nor 9 bytes long.
    unsigned field = 0;
    if (keyword.size() == 3) {
      if (keyword == "sid") field = kSid;
      else if (keyword == "rev") field = kRev;
      else if (keyword == "msg") field = kMsg;
    } else if (keyword.size() == 9 && keyword == "classtype") {
      field = kClasstype;
    }
    if ((field & missing) == 0) {
      if (!options.skipValue()) break;
      continue;
    }
    if (!options.value(value)) break;
    switch (field) {
      case kSid:
        if (toNumber(value, rule.sid)) missing &= ~kSid;
        break;
      case kRev:
        if (toNumber(value, rule.rev)) missing &= ~kRev;
        break;
      case kMsg:
        rule.msg = value;
        missing &= ~kMsg;
        break;
      case kClasstype:
        if (!value.empty()) rule.classtype = value;
        missing &= ~kClasstype;
        break;
    }
  }
  if ((missing & kSid) != 0) return false;
  rule.revRead = (missing & kRev) == 0;
  rule.enabled = line.empty() || line[0] != '#';
  rule.content = rule.enabled ? line : line.substr(1);
  const std::string_view action = tokenFrom(line, 0);
  const std::string_view protocol =
      tokenFrom(line, static_cast<size_t>(action.data() - line.data()) + action.size());
  rule.action = action.empty() ? kUnknown : action;
  rule.protocol = protocol.empty() ? kUnknown : protocol;
  return true;
}

bool sidOfRule(std::string_view line, uint32_t& sid) {
  RuleView rule;
  if (!readRule(line, rule)) return false;
  sid = rule.sid;
  return true;
}
