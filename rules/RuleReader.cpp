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

// The first of `a`, `b` and `c` at or after `p`, or `end`. 16 bytes at a time:
// option values are most of a rule's bytes.
const char* findAny(const char* p, const char* end, char a, char b, char c) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb)),
        _mm_cmpeq_epi8(bytes, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return p + __builtin_ctz(mask);
  }
#endif
  for (; p < end; ++p) {
    if (*p == a || *p == b || *p == c) return p;
  }
  return end;
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
  while (true) {
    at_ = skipBlanks(at_, end_);
    if (at_ >= end_) return false;
    const char* const keyword = at_;
    while (at_ < end_ && *at_ != ':' && *at_ != ';') ++at_;
    const std::string_view name = between(keyword, trimBlanks(keyword, at_));
    if (at_ == end_ || *at_ == ';') {
      if (at_ < end_) ++at_;
      if (name.empty()) continue;
      option = RuleOption{name, std::string_view()};
      return true;
    }
    at_ = skipBlanks(at_ + 1, end_);
    const char* const value = at_;
    bool quoted = false;
    while (true) {
      // Inside quotes only a quote or a backslash matters.
      at_ = findAny(at_, end_, '"', '\\', quoted ? '"' : ';');
      if (at_ >= end_ || *at_ == ';') break;
      if (*at_ == '\\') {
        at_ += 2;
        if (at_ > end_) at_ = end_;
      } else {
        quoted = !quoted;
        ++at_;
      }
    }
    if (quoted) {
      at_ = end_;
      return false;
    }
    const std::string_view text = between(value, trimBlanks(value, at_));
    if (at_ < end_) ++at_;
    if (name.empty()) continue;
    option = RuleOption{name, text};
    return true;
  }
}

bool readRule(std::string_view line, RuleView& rule) {
  bool sidFound = false;
  bool revFound = false;
  bool msgFound = false;
  bool classtypeFound = false;
  rule.rev = 0;
  rule.msg = kUndefined;
  rule.classtype = kUnlnown;
  RuleOptions options(line);
  RuleOption option;
  while (!(sidFound && revFound && msgFound && classtypeFound) && options.next(option)) {
    const std::string_view keyword = option.keyword;
    if (keyword == "sid") {
      if (!sidFound) sidFound = toNumber(option.value, rule.sid);
    } else if (keyword == "rev") {
      if (!revFound) revFound = toNumber(option.value, rule.rev);
    } else if (keyword == "msg") {
      if (!msgFound) rule.msg = option.value;
      msgFound = true;
    } else if (keyword == "classtype") {
      if (!classtypeFound && !option.value.empty()) rule.classtype = option.value;
      classtypeFound = true;
    }
  }
  if (!sidFound) return false;
  rule.revRead = revFound;
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
