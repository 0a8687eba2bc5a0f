// One pass over a rule line for both token views, and over a rules file.
#include "rules/ParsedRules.h"

#include <cstring>
#include <stdexcept>

namespace {

constexpr std::string_view kUnknown = "unknown";
constexpr std::string_view kUnlnown = "unlnown";  // the stored fallback, spelled so
constexpr std::string_view kUndefined = "undefined";

// Character classes: general tokens end at any delimiter; message tokens only
// at the four that both views share.
enum : uint8_t { kText = 0, kGeneralDelimiter = 1, kBothDelimiter = 2 };

struct ClassTable {
  constexpr ClassTable() : of{} {
    for (const char c : std::string_view(" .,!#")) of[static_cast<unsigned char>(c)] = kGeneralDelimiter;
    for (const char c : std::string_view(":;()")) of[static_cast<unsigned char>(c)] = kBothDelimiter;
  }
  uint8_t of[256];
};
constexpr ClassTable kClass;

bool allDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A keyword's value: the token after the keyword's first occurrence.
struct AfterFirst {
  std::string_view keyword;
  std::string_view value;
  int state = 0;  // 0 keyword not seen, 1 seen (next token is the value), 2 done

  void visit(std::string_view token) {
    if (state == 1) {
      value = token;
      state = 2;
    } else if (state == 0 && token == keyword) {
      state = 1;
    }
  }
};

// A number's value: the first all-digit token after an occurrence of the keyword.
struct NumberAfter {
  std::string_view keyword;
  std::string_view value = kUnlnown;
  bool afterKeyword = false;
  bool found = false;

  void visit(std::string_view token) {
    if (!found && afterKeyword && allDigits(token)) {
      value = token;
      found = true;
    }
    afterKeyword = token == keyword;
  }
};

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

  size_t generalCount = 0;
  std::string_view action = kUnknown;
  std::string_view protocol = kUnknown;
  AfterFirst classtype{"classtype", kUnlnown};
  NumberAfter sid{"sid"};
  NumberAfter rev{"rev"};
  AfterFirst msg{"msg", kUndefined};
  const auto general = [&](const char* begin, const char* end) {
    const std::string_view token(begin, static_cast<size_t>(end - begin));
    if (generalCount == 0) action = token;
    else if (generalCount == 1) protocol = token;
    ++generalCount;
    classtype.visit(token);
    sid.visit(token);
    rev.visit(token);
  };

  const char* p = line.data();
  const char* const end = p + line.size();
  const char* generalStart = nullptr;  // of the open token of each view
  const char* messageStart = nullptr;
  while (p < end) {
    const uint8_t type = kClass.of[static_cast<unsigned char>(*p)];
    if (type == kText) {
      if (generalStart == nullptr) generalStart = p;
      if (messageStart == nullptr) messageStart = p;
      do {
        ++p;
      } while (p < end && kClass.of[static_cast<unsigned char>(*p)] == kText);
      continue;
    }
    if (generalStart != nullptr) {
      general(generalStart, p);
      generalStart = nullptr;
    }
    if (type == kBothDelimiter) {
      if (messageStart != nullptr) {
        msg.visit(std::string_view(messageStart, static_cast<size_t>(p - messageStart)));
        messageStart = nullptr;
      }
    } else if (messageStart == nullptr) {
      messageStart = p;
    }
    ++p;
    // Every field is taken at a first occurrence: the rest of the line
    // (often a long metadata option) cannot change them.
    if (sid.found && rev.found && classtype.state == 2 && msg.state == 2) break;
  }
  if (p >= end) {
    if (generalStart != nullptr) general(generalStart, end);
    if (messageStart != nullptr) {
      msg.visit(std::string_view(messageStart, static_cast<size_t>(end - messageStart)));
    }
  }

  rule.action = action;
  rule.protocol = protocol;
  rule.classtype = classtype.value;
  rule.msg = msg.value;
  const LineError sidError = toNumber(sid.value, sid.found, rule.sid);
  if (sidError != LineError::kNone) return sidError;
  return toNumber(rev.value, rev.found, rule.rev);
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
