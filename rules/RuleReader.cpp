// One pass over a rule's text: the header tokens, then the options.
#include "rules/RuleReader.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>  // AVX2, used where the processor has it
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

}  // namespace

namespace option_bytes {

BlockBytes byteByByte(const char* block) {
  BlockBytes found;
  for (int i = 0; i < 64; ++i) {
    const uint64_t bit = uint64_t{1} << i;
    if (block[i] == ';') found.semicolons |= bit;
    if (block[i] == ';' || block[i] == ':') found.stops |= bit;
    if (block[i] == '"') found.quotes |= bit;
    if (block[i] == '\\') found.backslashes |= bit;
    if (block[i] == ' ' || block[i] == '\t') found.blanks |= bit;
  }
  return found;
}

#if defined(__x86_64__)
// 16 bytes a step: every x86-64 processor has SSE2.
BlockBytes sse2(const char* block) {
  BlockBytes found;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    const auto bits = [part](__m128i hits) {
      return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << (16 * part);
    };
    const __m128i semicolons = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(';'));
    found.semicolons |= bits(semicolons);
    found.stops |= bits(_mm_or_si128(semicolons, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(':'))));
    found.quotes |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
    found.backslashes |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
    found.blanks |= bits(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
  }
  return found;
}

// 32 bytes a step, without the copy of the bytes that each SSE2 comparison
// needs: about half the instructions.
__attribute__((target("avx2"))) BlockBytes avx2(const char* block) {
  BlockBytes found;
  for (int part = 0; part < 2; ++part) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32 * part));
    const auto bits = [part](__m256i hits) __attribute__((target("avx2"))) {
      return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hits)))
             << (32 * part);
    };
    const __m256i semicolons = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(';'));
    found.semicolons |= bits(semicolons);
    found.stops |=
        bits(_mm256_or_si256(semicolons, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(':'))));
    found.quotes |= bits(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('"')));
    found.backslashes |= bits(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\\')));
    found.blanks |= bits(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(' ')),
                                         _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\t'))));
  }
  return found;
}

bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

}  // namespace option_bytes

namespace {

using option_bytes::BlockBytes;

using FindBytes = BlockBytes (*)(const char*);

// The bytes a backslash escapes: each byte right after a run of backslashes
// of odd length (within a run each backslash escapes the next one or is
// escaped by the one before). `carry` is 1 when the block's first byte is
// escaped by the block before, and becomes that for the next block.
uint64_t escapedBytes(uint64_t backslashes, uint64_t& carry) {
  constexpr uint64_t kEvenBits = 0x5555555555555555ull;
  backslashes &= ~carry;  // an escaped backslash escapes nothing
  const uint64_t afterBackslash = (backslashes << 1) | carry;
  // Adding a run's first bit to the run clears the run and sets the bit
  // after it. Done for the runs that start at an odd place: those runs are
  // replaced by the bit after them; the runs that start at an even place stay.
  const uint64_t oddStarts = backslashes & ~kEvenBits & ~afterBackslash;
  uint64_t evenRunsAndOddRunEnds = 0;
  carry = __builtin_add_overflow(oddStarts, backslashes, &evenRunsAndOddRunEnds) ? 1 : 0;
  // A run of odd length that starts at an even place ends before an odd
  // place, one that starts at an odd place before an even place: the even
  // places after a backslash, flipped after each run that starts even.
  return (kEvenBits ^ (evenRunsAndOddRunEnds << 1)) & afterBackslash;
}

// Bit i set when an odd number of the bits up to and including i are set.
uint64_t prefixXor(uint64_t bits) {
  bits ^= bits << 1;
  bits ^= bits << 2;
  bits ^= bits << 4;
  bits ^= bits << 8;
  bits ^= bits << 16;
  bits ^= bits << 32;
  return bits;
}

// `sum` = `a` + `b` + `carry`; `carry` becomes the carry out of bit 63.
uint64_t addWithCarry(uint64_t a, uint64_t b, uint64_t& carry) {
  uint64_t sum = 0;
  const bool first = __builtin_add_overflow(a, b, &sum);
  const bool second = __builtin_add_overflow(sum, carry, &sum);
  carry = first || second ? 1 : 0;
  return sum;
}

// Marks of an option span, one bit a byte in words of 64 bytes: the ";" that
// end values, the ":" and ";" that end keywords, and the first byte of each
// keyword other than a blank. A block is classified in one pass when the
// reader first reaches it, with the state of quotes, escapes and keywords
// carried from the block before; the blocks after the last option read are
// never looked at.
//
// The value ends honour quotes and escapes from the start of the span on,
// where the walk byte by byte starts afresh at each value. The two agree as
// long as no keyword holds a quote or a backslash (each value then starts
// outside quotes and escapes); a keyword that holds one makes the marks
// misread() the line, and everything read through them does not count.
template <FindBytes findBytes>
class OptionMarks {
 public:
  static constexpr size_t kBlocks = 64;  // spans up to 4096 bytes

  // False for a span too long for the marks.
  bool start(const char* begin, const char* end) {
    const size_t size = static_cast<size_t>(end - begin);
    if (size > kBlocks * 64) return false;
    begin_ = begin;
    end_ = end;
    blocks_ = (size + 63) / 64;
    return true;
  }

  size_t blocks() const { return blocks_; }
  // The keywords' first bytes in `block`, classifying it first.
  uint64_t keywordStarts(size_t block) {
    classifyTo(block);
    return keywordStarts_[block];
  }
  // The byte of the lowest bit of `bits`, marks of `block`.
  const char* at(size_t block, uint64_t bits) const {
    return begin_ + 64 * block + __builtin_ctzll(bits);
  }
  // The first ";" that ends a value, at or after `from`; or the end.
  const char* firstEnd(const char* from) { return first(valueEnds_, from); }
  // The first ":" or ";" at or after `from`; or the end.
  const char* firstStop(const char* from) { return first(stops_, from); }
  // Whether the span ends inside quotes.
  bool openAtEnd() {
    if (blocks_ > 0) classifyTo(blocks_ - 1);
    return quotedCarry_ != 0;
  }
  // A keyword in the blocks classified holds a quote or a backslash.
  bool misread() const { return misread_; }

 private:
  const char* first(const uint64_t* marks, const char* from) {
    const size_t offset = static_cast<size_t>(from - begin_);
    size_t block = offset / 64;
    if (block >= blocks_) return end_;
    classifyTo(block);
    uint64_t bits = marks[block] & (~uint64_t{0} << (offset % 64));
    while (bits == 0) {
      if (++block >= blocks_) return end_;
      classifyTo(block);
      bits = marks[block];
    }
    return at(block, bits);
  }

  void classifyTo(size_t block) {
    while (classified_ <= block) classify(classified_++);
  }

  void classify(size_t block) {
    const char* bytes = begin_ + 64 * block;
    // The last block is read from a copy padded with bytes that mark
    // nothing: the span may end where readable memory ends.
    char padded[64];
    uint64_t inSpan = ~uint64_t{0};
    if (end_ - bytes < 64) {
      std::memset(padded, 0, sizeof padded);
      std::memcpy(padded, bytes, static_cast<size_t>(end_ - bytes));
      inSpan = ~(inSpan << (end_ - bytes));
      bytes = padded;
    }
    const BlockBytes found = findBytes(bytes);
    // Most blocks hold no backslash: nothing is escaped.
    const uint64_t escaped = (found.backslashes | escapedCarry_) != 0
                                 ? escapedBytes(found.backslashes, escapedCarry_)
                                 : 0;
    // Set from an opening quote up to its closing quote.
    const uint64_t quoted = prefixXor(found.quotes & ~escaped) ^ quotedCarry_;
    quotedCarry_ = static_cast<uint64_t>(static_cast<int64_t>(quoted) >> 63);
    const uint64_t valueEnds = found.semicolons & ~escaped & ~quoted;
    // A keyword runs from the byte after a value's end (or the span's start)
    // up to the next ":" or ";". Adding each start to the bytes that are no
    // stop clears the run of them it starts; the carry goes on in the next
    // block. A start that is a stop itself clears nothing.
    const uint64_t starts = (valueEnds << 1) | startCarry_;
    startCarry_ = valueEnds >> 63;
    const uint64_t noStops = ~found.stops;
    const uint64_t keywords = noStops & ~addWithCarry(noStops, starts, keywordCarry_);
    if ((keywords & (found.quotes | found.backslashes)) != 0) misread_ = true;
    // The same through the blanks that lead a keyword: its first other byte.
    const uint64_t blanks = found.blanks & keywords;
    keywordStarts_[block] = addWithCarry(blanks, starts, blankCarry_) & ~blanks & keywords & inSpan;
    valueEnds_[block] = valueEnds;
    stops_[block] = found.stops;
  }

  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  size_t blocks_ = 0;      // blocks in the span
  size_t classified_ = 0;  // blocks classified, from the first
  // Carried from one block to the next:
  uint64_t quotedCarry_ = 0;   // all ones when the block before ends inside quotes
  uint64_t escapedCarry_ = 0;  // 1 when the block's first byte is escaped
  uint64_t startCarry_ = 1;    // 1 when a keyword starts at the block's first byte
  uint64_t keywordCarry_ = 0;  // 1 when a keyword goes on into the block
  uint64_t blankCarry_ = 0;    // 1 when the blanks that lead a keyword go on into the block
  bool misread_ = false;
  uint64_t valueEnds_[kBlocks];
  uint64_t stops_[kBlocks];
  uint64_t keywordStarts_[kBlocks];
};

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

// The options' bytes: after the first "(", up to the ")" that ends the line
// (white space after it ignored). False when the line has no "(".
bool optionSpan(std::string_view line, const char*& begin, const char*& end) {
  const void* open = std::memchr(line.data(), '(', line.size());
  if (open == nullptr) return false;
  begin = static_cast<const char*>(open) + 1;
  end = line.data() + line.size();
  while (end > begin && isSpace(end[-1])) --end;
  if (end > begin && end[-1] == ')') --end;
  return true;
}

}  // namespace

RuleOptions::RuleOptions(std::string_view line) : at_(nullptr), end_(nullptr) {
  optionSpan(line, at_, end_);
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

namespace {

// The four fields a listing reads, taken from the first option that gives
// each; reading stops once all four are found.
class Fields {
 public:
  enum : unsigned { kNone = 0, kSid = 1, kRev = 2, kMsg = 4, kClasstype = 8 };

  explicit Fields(RuleView& rule) : rule_(rule) { clear(); }

  // Back to nothing found.
  void clear() {
    missing_ = kSid | kRev | kMsg | kClasstype;
    rule_.rev = 0;
    rule_.msg = kUndefined;
    rule_.classtype = kUnlnown;
  }

  // The field still missing that `keyword` gives, or kNone.
  unsigned wanted(std::string_view keyword) const {
    // By length first: most keywords are neither 3 nor 9 bytes long.
    unsigned field = kNone;
    if (keyword.size() == 3) {
      if (keyword == "sid")
        field = kSid;
      else if (keyword == "rev")
        field = kRev;
      else if (keyword == "msg")
        field = kMsg;
    } else if (keyword.size() == 9 && keyword == "classtype") {
      field = kClasstype;
    }
    return field & missing_;
  }

  void take(unsigned field, std::string_view value) {
    switch (field) {
      case kSid:
        if (toNumber(value, rule_.sid)) missing_ &= ~kSid;
        break;
      case kRev:
        if (toNumber(value, rule_.rev)) missing_ &= ~kRev;
        break;
      case kMsg:
        rule_.msg = value;
        missing_ &= ~kMsg;
        break;
      case kClasstype:
        if (!value.empty()) rule_.classtype = value;
        missing_ &= ~kClasstype;
        break;
    }
  }

  bool done() const { return missing_ == 0; }
  bool sidFound() const { return (missing_ & kSid) == 0; }
  bool revFound() const { return (missing_ & kRev) == 0; }

 private:
  RuleView& rule_;
  unsigned missing_ = 0;
};

// The fields through the option walk, byte by byte.
void walkFields(std::string_view line, Fields& fields) {
  RuleOptions options(line);
  std::string_view keyword;
  std::string_view value;
  while (!fields.done() && options.nextKeyword(keyword)) {
    const unsigned field = fields.wanted(keyword);
    if (field == Fields::kNone) {
      if (!options.skipValue()) break;
      continue;
    }
    if (!options.value(value)) break;
    fields.take(field, value);
  }
}

// Whether the keyword that starts at `p` may be one of the four: it starts
// as one of them does. Most keywords do not, and are passed over by this.
bool mayBeWanted(const char* p, const char* end) {
  if (end - p < 3) return false;
  switch (p[0]) {
    case 's': return p[1] == 'i' && p[2] == 'd';
    case 'r': return p[1] == 'e' && p[2] == 'v';
    case 'm': return p[1] == 's' && p[2] == 'g';
    case 'c': return p[1] == 'l' && p[2] == 'a';
    default: return false;
  }
}

// The fields through the marks of the line's options: the keywords' first
// bytes are marked, so only the keywords are looked at, and only the values
// of the four fields are cut out. False, with nothing taken that counts,
// when the marks cannot read the line: options longer than the marks hold,
// or a keyword holding a quote or a backslash.
template <FindBytes findBytes>
bool markFields(std::string_view line, Fields& fields) {
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!optionSpan(line, begin, end)) return true;  // no options
  OptionMarks<findBytes> marks;
  if (!marks.start(begin, end)) return false;
  for (size_t block = 0; block < marks.blocks() && !fields.done(); ++block) {
    for (uint64_t starts = marks.keywordStarts(block); starts != 0 && !fields.done();
         starts &= starts - 1) {
      const char* const keyword = marks.at(block, starts);
      if (!mayBeWanted(keyword, end)) continue;
      const char* const stop = marks.firstStop(keyword);
      const unsigned field = fields.wanted(between(keyword, trimBlanks(keyword, stop)));
      if (field == Fields::kNone) continue;
      std::string_view value;
      if (stop < end && *stop == ':') {
        const char* const valueEnd = marks.firstEnd(stop + 1);
        // A value never closed: neither it nor anything after it is read.
        if (valueEnd == end && marks.openAtEnd()) return !marks.misread();
        const char* const from = skipBlanks(stop + 1, valueEnd);
        value = between(from, trimBlanks(from, valueEnd));
      }
      fields.take(field, value);
    }
  }
  return !marks.misread();
}

#if defined(__x86_64__)
// The reader compiled for AVX2 as a whole, the bytes of each block found in
// line with the rest.
__attribute__((target("avx2"), flatten)) bool markFieldsAvx2(std::string_view line,
                                                             Fields& fields) {
  return markFields<option_bytes::avx2>(line, fields);
}
#endif

// The marks of the fastest kind the processor has, chosen on first use.
bool markFieldsHere(std::string_view line, Fields& fields) {
#if defined(__x86_64__)
  static const auto read =
      option_bytes::hasAvx2() ? markFieldsAvx2 : markFields<option_bytes::sse2>;
#else
  static const auto read = markFields<option_bytes::byteByByte>;
#endif
  return read(line, fields);
}

}  // namespace

bool readRule(std::string_view line, RuleView& rule) {
  Fields fields(rule);
  if (!markFieldsHere(line, fields)) {
    fields.clear();
    walkFields(line, fields);
  }
  if (!fields.sidFound()) return false;
  rule.revRead = fields.revFound();
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
