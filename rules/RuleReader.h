// The one reader of a rule's text: the header tokens and the option list of
// one (logical) line, as every query, edit, duplicate search, sid check and
// the kept parse read a rule. A line is a rule when its options carry a
// readable sid; every other line (blank, note, licence header, a fragment
// without one) is not a rule and is passed over by whatever reads rules.
//
// Options are the `keyword:value;` pairs after the header's first "(", up to
// the ")" that ends the line (white space after it is ignored; a line without
// it reads its options to the end). Blanks and tabs around the keyword and
// after the ":" are not part of either, nor are those before the ";". A
// value ends at the first ";" that is neither escaped by a backslash nor
// inside double quotes; inside quotes a backslash escapes the next byte, so
// `\"`, `\;` and `\\` never end anything. A keyword without ":" has an empty
// value; an empty option (";;") is passed over; an option whose quote is
// never closed is not read, nor is anything after it.
#ifndef RULES_RULEREADER_H_
#define RULES_RULEREADER_H_

#include <cstdint>
#include <string_view>

struct RuleOption {
  std::string_view keyword;
  std::string_view value;  // quotes kept, text between them verbatim
};

// Walks the options of one line in order.
class RuleOptions {
 public:
  explicit RuleOptions(std::string_view line);
  // The next option into `option`; false when there is none.
  bool next(RuleOption& option);

  // The same in two steps, for a reader that wants the values of only some
  // options: the next option's keyword, then exactly one of value() and
  // skipValue(). Both are false when the value's quote is never closed:
  // the option is not read, and there is no option after it.
  bool nextKeyword(std::string_view& keyword);
  bool value(std::string_view& value);  // empty for a keyword without ":"
  bool skipValue();                     // the same end, without cutting the value out

 private:
  // Moves past the value that starts at `from`; false when it stays open.
  bool endValue(const char* from);

  const char* at_;
  const char* end_;
  bool hasValue_ = false;  // the keyword just read is followed by ":"
};

// Where one 64-byte block holds the bytes that the reader's marks are built
// from: one bit a byte, the block's first byte in the lowest bit. Each
// processor family has its own way of finding them; every one gives the
// same as byteByByte().
namespace option_bytes {

struct BlockBytes {
  uint64_t semicolons = 0;
  uint64_t stops = 0;  // ":" or ";"
  uint64_t quotes = 0;
  uint64_t backslashes = 0;
  uint64_t blanks = 0;  // " " or tab
};

BlockBytes byteByByte(const char* block);
#if defined(__x86_64__)
BlockBytes sse2(const char* block);
// Only on a processor that has AVX2 (hasAvx2()).
BlockBytes avx2(const char* block);
bool hasAvx2();
#endif

}  // namespace option_bytes

// A rule's fields as views into its line (fallback texts are static).
struct RuleView {
  std::string_view content;    // the line without one leading "#"
  std::string_view action;     // first header token, as the front end reads it
  std::string_view protocol;   // second header token, or "unknown"
  std::string_view classtype;  // the classtype option, or "unlnown"
  std::string_view msg;        // the msg option's value, or "undefined"
  uint32_t sid = 0;            // the first sid option that is a number
  uint32_t rev = 0;            // the first rev option that is a number; 0 without one
  bool enabled = false;        // false exactly when the line starts with "#"
  bool revRead = false;        // true when `rev` comes from a rev option
};

// Reads `line` (one logical line without its newline) into `rule`; false,
// with `rule` in no defined state, when the line is not a rule: no sid
// option holds only decimal digits of a value up to 4294967295. Views point
// into `line`.
bool readRule(std::string_view line, RuleView& rule);

// The sid of `line` when it is a rule.
bool sidOfRule(std::string_view line, uint32_t& sid);

#endif  // RULES_RULEREADER_H_
