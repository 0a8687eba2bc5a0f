// The fields of a rule line, found without cutting the whole line into
// tokens, and one pass over a rules file.
#include "rules/ParsedRules.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view kUnknown = "unknown";
constexpr std::string_view kUnlnown = "unlnown";  // the stored fallback, spelled so
constexpr std::string_view kUndefined = "undefined";

// Character classes of the two token views: general tokens end at any of
// " .,;:!()#", message tokens only at the four of them that both views share.
enum : uint8_t { kText = 0, kGeneralDelimiter = 1, kBothDelimiter = 2 };

struct ClassTable {
  constexpr ClassTable() : of{} {
    for (const char c : std::string_view(" .,!#")) of[static_cast<unsigned char>(c)] = kGeneralDelimiter;
    for (const char c : std::string_view(":;()")) of[static_cast<unsigned char>(c)] = kBothDelimiter;
  }
  uint8_t of[256];
};
constexpr ClassTable kClass;

// True when `c` ends a token of the view whose delimiters are the classes
// at or above `least` (kGeneralDelimiter: general view; kBothDelimiter: message view).
bool ends(char c, uint8_t least) { return kClass.of[static_cast<unsigned char>(c)] >= least; }

bool allDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// True when `line` holds `keyword` at `at` as a whole token of the view.
bool tokenAt(std::string_view line, size_t at, std::string_view keyword, uint8_t least) {
  const size_t after = at + keyword.size();
  return after <= line.size() && line.compare(at, keyword.size(), keyword) == 0 &&
         (at == 0 || ends(line[at - 1], least)) &&
         (after == line.size() || ends(line[after], least));
}

// The first token of the view at or after `from`; empty when there is none.
std::string_view tokenFrom(std::string_view line, size_t from, uint8_t least) {
  while (from < line.size() && ends(line[from], least)) ++from;
  size_t to = from;
  while (to < line.size() && !ends(line[to], least)) ++to;
  return line.substr(from, to - from);
}

// The fields that follow keyword tokens, taken at their first occurrence as
// the extractors do. Visiting every place where a keyword's first three
// bytes occur, in line order, is the same as looking at every token: a
// keyword token is one of those places, bounded by delimiters of its view.
struct Keywords {
  std::string_view line;
  std::string_view classtype = kUnlnown;
  std::string_view msg = kUndefined;
  std::string_view sid = kUnlnown;
  std::string_view rev = kUnlnown;
  bool classtypeDone = false;
  bool msgDone = false;
  bool sidFound = false;
  bool revFound = false;

  bool done() const { return classtypeDone && msgDone && sidFound && revFound; }

  // `at` starts one of "cla", "msg", "sid", "rev".
  void visit(size_t at) {
    switch (line[at]) {
      case 'c':
        // The token after the first "classtype" token.
        if (!classtypeDone && tokenAt(line, at, "classtype", kGeneralDelimiter)) {
          classtypeDone = true;
          const std::string_view value = tokenFrom(line, at + 9, kGeneralDelimiter);
          if (!value.empty()) classtype = value;
        }
        break;
      case 'm':
        // The message token after the first "msg" message token.
        if (!msgDone && tokenAt(line, at, "msg", kBothDelimiter)) {
          msgDone = true;
          const std::string_view value = tokenFrom(line, at + 3, kBothDelimiter);
          if (!value.empty()) msg = value;
        }
        break;
      case 's': number(at, "sid", sid, sidFound); break;
      case 'r': number(at, "rev", rev, revFound); break;
    }
  }

  // The first all-digit token that follows a `keyword` token.
  void number(size_t at, std::string_view keyword, std::string_view& value, bool& found) {
    if (found || !tokenAt(line, at, keyword, kGeneralDelimiter)) return;
    const std::string_view next = tokenFrom(line, at + 3, kGeneralDelimiter);
    if (next.empty() || !allDigits(next)) return;
    value = next;
    found = true;
  }
};

bool startsKeyword(const char* p) {
  return (p[0] == 'c' && p[1] == 'l' && p[2] == 'a') ||
         (p[0] == 'm' && p[1] == 's' && p[2] == 'g') ||
         (p[0] == 's' && p[1] == 'i' && p[2] == 'd') || (p[0] == 'r' && p[1] == 'e' && p[2] == 'v');
}

// Visits the places of the keywords' first bytes in line order, until every
// field is found.
void findKeywords(Keywords& keywords) {
  const std::string_view line = keywords.line;
  if (line.size() < 3) return;
  const size_t last = line.size() - 3;  // the last place a keyword can start
  size_t at = 0;
#if defined(__SSE2__)
  // 16 places at a time: the bytes at each place and the two after it.
  const auto equal = [](__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  for (; at + 16 <= last + 1; at += 16) {
    const char* p = line.data() + at;
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
    const __m128i found = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(_mm_and_si128(equal(b0, 'c'), equal(b1, 'l')), equal(b2, 'a')),
                     _mm_and_si128(_mm_and_si128(equal(b0, 'm'), equal(b1, 's')), equal(b2, 'g'))),
        _mm_or_si128(_mm_and_si128(_mm_and_si128(equal(b0, 's'), equal(b1, 'i')), equal(b2, 'd')),
                     _mm_and_si128(_mm_and_si128(equal(b0, 'r'), equal(b1, 'e')), equal(b2, 'v'))));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask != 0;
         mask &= mask - 1) {
      keywords.visit(at + static_cast<size_t>(__builtin_ctz(mask)));
      if (keywords.done()) return;
    }
  }
#endif
  for (; at <= last; ++at) {
    if (!startsKeyword(line.data() + at)) continue;
    keywords.visit(at);
    if (keywords.done()) return;
  }
}

// The standard int conversion of an all-digit token, or its failure.
LineError toNumber(std::string_view text, bool isNumber, uint32_t& number) {
  if (!isNumber) return LineError::kNotANumber;
  uint64_t value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 2147483647) return LineError::kOutOfRange;
  }
  number = static_cast<uint32_t>(value);
  return LineError::kNone;
}

}  // namespace

RuleItem RuleView::toItem() const {
  RuleItem item;
  item.content = std::string(content);
  item.action = std::string(action);
  item.protocol = std::string(protocol);
  item.classtype = std::string(classtype);
  item.sid = sid;
  item.rev = rev;
  item.msg = std::string(msg);
  item.enabled = enabled;
  return item;
}

LineError parseRuleLine(std::string_view line, RuleView& rule) {
  rule.enabled = line.empty() || line[0] != '#';
  rule.content = rule.enabled ? line : line.substr(1);

  const std::string_view action = tokenFrom(line, 0, kGeneralDelimiter);
  const size_t afterAction = static_cast<size_t>(action.data() - line.data()) + action.size();
  const std::string_view protocol =
      action.empty() ? action : tokenFrom(line, afterAction, kGeneralDelimiter);
  rule.action = action.empty() ? kUnknown : action;
  rule.protocol = protocol.empty() ? kUnknown : protocol;

  Keywords keywords{line};
  findKeywords(keywords);
  rule.classtype = keywords.classtype;
  rule.msg = keywords.msg;
  const LineError sidError = toNumber(keywords.sid, keywords.sidFound, rule.sid);
  if (sidError != LineError::kNone) return sidError;
  return toNumber(keywords.rev, keywords.revFound, rule.rev);
}

void throwLineError(LineError error) {
  if (error == LineError::kOutOfRange) throw std::out_of_range("stoi");
  throw std::invalid_argument("stoi");
}

ParsedRules::ParsedRules(file_cache::FileText text) : text_(std::move(text)) {
  const char* p = text_.data();
  const char* const end = p + text_.size();
  // Reserved, not touched: only the pages written count against memory, and
  // the vector does not move while it grows.
  rules_.reserve(text_.size() / 64 + 1);
  uint64_t lineNumber = 0;
  RuleView rule;
  while (p < end) {
    const void* newline = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char* lineEnd = newline == nullptr ? end : static_cast<const char*>(newline);
    ++lineNumber;
    const LineError error = parseRuleLine(std::string_view(p, static_cast<size_t>(lineEnd - p)), rule);
    if (error == LineError::kNone) {
      rules_.push_back(rule);
    } else if (firstBadLine_ == 0) {
      firstBadLine_ = lineNumber;
      firstBadError_ = error;
      rulesBeforeBadLine_ = rules_.size();
    }
    p = lineEnd + 1;
  }
  if (firstBadLine_ == 0) rulesBeforeBadLine_ = rules_.size();
}

std::shared_ptr<const ParsedRules::Indexes> ParsedRules::matching(
    const std::string& query, const std::function<bool(const RuleView&)>& match) const {
  {
    const std::lock_guard<std::mutex> lock(queriesMutex_);
    for (auto kept = queries_.begin(); kept != queries_.end(); ++kept) {
      if (kept->first != query) continue;
      queries_.splice(queries_.begin(), queries_, kept);
      return kept->second;
    }
  }
  // Worked out outside the lock; two requests asking at once both do it.
  auto indexes = std::make_shared<Indexes>();
  const size_t scanned = firstBadLine_ == 0 ? rules_.size() : rulesBeforeBadLine_;
  for (size_t i = 0; i < scanned; ++i) {
    if (match(rules_[i])) indexes->push_back(static_cast<uint32_t>(i));
  }
  const std::lock_guard<std::mutex> lock(queriesMutex_);
  queries_.emplace_front(query, indexes);
  if (queries_.size() > kKeptQueries) queries_.pop_back();
  return indexes;
}
