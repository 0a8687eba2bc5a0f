// One line of a rules file through the rule reader. The options read must be
// exactly those of the plain reference split below, and the fields of the
// rule must be the first matching options of that split.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "rules/RuleItem.h"
#include "rules/RuleReader.h"
#include "rules/RuleText.h"

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Deliberately naive: a byte at a time, in the words of the format. The
// options lie between the first "(" and the ")" that ends the line (white
// space after it ignored). An option's keyword runs to the first ":" or ";";
// its value runs to the first ";" outside quotes that no backslash escapes.
// An option left in an open quote is dropped.
Options referenceSplit(const std::string& line) {
  Options options;
  const size_t open = line.find('(');
  if (open == std::string::npos) return options;
  std::string body = line.substr(open + 1);
  while (!body.empty() && std::string(" \t\n\v\f\r").find(body.back()) != std::string::npos) {
    body.pop_back();
  }
  if (!body.empty() && body.back() == ')') body.pop_back();

  enum { kKeyword, kValue, kQuoted } state = kKeyword;
  std::string keyword;
  std::string value;
  const auto emit = [&] {
    if (!trimmed(keyword).empty()) options.emplace_back(trimmed(keyword), trimmed(value));
    keyword.clear();
    value.clear();
    state = kKeyword;
  };
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (state == kKeyword) {
      if (c == ':') {
        state = kValue;
      } else if (c == ';') {
        emit();
      } else {
        keyword += c;
      }
    } else if (c == '\\') {
      value += c;
      if (i + 1 < body.size()) value += body[++i];
    } else if (c == '"') {
      value += c;
      state = state == kQuoted ? kValue : kQuoted;
    } else if (c == ';' && state == kValue) {
      emit();
    } else {
      value += c;
    }
  }
  if (state != kQuoted) emit();
  return options;
}

bool number(const std::string& text, uint32_t& out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size() - 1));
  if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) return false;
  out = static_cast<uint32_t>(std::stoull(digits));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);

  Options read;
  RuleOptions options(line);
  RuleOption option;
  while (options.next(option)) read.emplace_back(option.keyword, option.value);
  FUZZ_CHECK(read == referenceSplit(line));

  // The fields are the first options of the split that give them.
  bool sidFound = false;
  uint32_t sid = 0;
  uint32_t rev = 0;
  bool revFound = false;
  const std::string* msg = nullptr;
  const std::string* classtype = nullptr;
  for (const auto& [keyword, value] : read) {
    if (keyword == "sid" && !sidFound) sidFound = number(value, sid);
    if (keyword == "rev" && !revFound) revFound = number(value, rev);
    if (keyword == "msg" && msg == nullptr) msg = &value;
    if (keyword == "classtype" && classtype == nullptr) classtype = &value;
  }
  const std::optional<RuleItem> item = RuleItem::read(line);
  FUZZ_CHECK(item.has_value() == sidFound);
  if (item) {
    FUZZ_CHECK(item->sid == sid && item->rev == (revFound ? rev : 0));
    FUZZ_CHECK(item->msg == (msg ? *msg : "undefined"));
    FUZZ_CHECK(item->classtype ==
               (classtype && !classtype->empty() ? *classtype : std::string("unlnown")));
    FUZZ_CHECK(item->enabled == (line.empty() || line[0] != '#'));
    FUZZ_CHECK(item->content == (item->enabled ? line : line.substr(1)));
    const Json::Value json = item->toJson();
    FUZZ_CHECK(json["content"].asString() == item->content);
    FUZZ_CHECK(json["sid"].asUInt() == item->sid);
    // A line holding only this rule counts for its sid.
    if (line.find('\n') == std::string::npos) FUZZ_CHECK(rules::hasRuleWithSid(line, sid));
  }
  return 0;
}
