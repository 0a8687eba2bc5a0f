// Tokenizing and field extraction for rule lines, and the sid lookup.
#include "rules/RuleFunctions.h"

#include "common/Configuration.h"
#include "rules/RuleFiles.h"

namespace RuleFunctions {

namespace {

constexpr std::string_view kGeneralDelimiters = " .,;:!()#";
constexpr std::string_view kMessageDelimiters = ":;()";
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

constexpr std::string_view kUnknown = "unknown";
constexpr std::string_view kUnlnown = "unlnown";  // the stored fallback, spelled so
constexpr std::string_view kUndefined = "undefined";

// Membership table of a delimiter set, built once per set.
struct DelimiterSet {
  explicit constexpr DelimiterSet(std::string_view characters) : is{} {
    for (const char c : characters) is[static_cast<unsigned char>(c)] = true;
  }
  bool is[256];
};

constexpr DelimiterSet kGeneral(kGeneralDelimiters);
constexpr DelimiterSet kMessage(kMessageDelimiters);

Tokens cut(std::string_view line, const DelimiterSet& delimiters) {
  Tokens tokens;
  const size_t size = line.size();
  size_t i = 0;
  while (i < size) {
    while (i < size && delimiters.is[static_cast<unsigned char>(line[i])]) ++i;
    const size_t begin = i;
    while (i < size && !delimiters.is[static_cast<unsigned char>(line[i])]) ++i;
    if (i > begin) tokens.push_back(line.substr(begin, i - begin));
  }
  return tokens;
}

// The token after the first token equal to `keyword`.
std::string_view afterFirst(const Tokens& tokens, std::string_view keyword,
                            std::string_view fallback) {
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i] == keyword) return tokens[i + 1];
  }
  return fallback;
}

// The first all-digit token that follows a token equal to `keyword`.
std::string_view numberAfter(const Tokens& tokens, std::string_view keyword) {
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i] == keyword && is_digits(tokens[i + 1])) return tokens[i + 1];
  }
  return kUnlnown;
}

std::vector<std::string> toStrings(const Tokens& views) {
  return std::vector<std::string>(views.begin(), views.end());
}

}  // namespace

Tokens generalTokens(std::string_view line) { return cut(line, kGeneral); }
Tokens messageTokens(std::string_view line) { return cut(line, kMessage); }

std::string_view actionOf(const Tokens& general) {
  return general.empty() ? kUnknown : general[0];
}
std::string_view protocolOf(const Tokens& general) {
  return general.size() < 2 ? kUnknown : general[1];
}
std::string_view classtypeOf(const Tokens& general) {
  return afterFirst(general, "classtype", kUnlnown);
}
std::string_view sidOf(const Tokens& general) { return numberAfter(general, "sid"); }
std::string_view revisionOf(const Tokens& general) { return numberAfter(general, "rev"); }
std::string_view messageOf(const Tokens& message) {
  return afterFirst(message, "msg", kUndefined);
}

std::vector<std::string> get_all_tokens(std::string line) {
  return toStrings(generalTokens(line));
}
std::vector<std::string> get_all_message_tokens(const std::string& line) {
  return toStrings(messageTokens(line));
}

std::string get_action_safe(const std::string& line) {
  return std::string(actionOf(generalTokens(line)));
}
std::string get_proto_safe(const std::string& line) {
  return std::string(protocolOf(generalTokens(line)));
}
std::string get_classtype_safe(const std::string& line) {
  return std::string(classtypeOf(generalTokens(line)));
}
std::string get_sid_safe(const std::string& line) {
  return std::string(sidOf(generalTokens(line)));
}
std::string get_revision_safe(const std::string& line) {
  return std::string(revisionOf(generalTokens(line)));
}
std::string get_message_safe(const std::string& line) {
  return std::string(messageOf(messageTokens(line)));
}

bool is_digits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string ltrim(const std::string& text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string removeComment(const std::string& line) {
  if (!line.empty() && line[0] == '#') return ltrim(line.substr(1));
  return ltrim(line);
}

bool find_sid(const std::string& sid) {
  const std::optional<std::string> text =
      rule_files::readIfOpenable(config::readString(config::kRulesFile));
  return text && text_has_sid(*text, sid);
}

bool text_has_sid(std::string_view text, std::string_view sid) {
  bool found = false;
  rule_files::forEachLine(text, [&](std::string_view line) {
    found = found || sidOf(generalTokens(line)) == sid;
  });
  return found;
}

}  // namespace RuleFunctions
