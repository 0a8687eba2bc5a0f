// Suricata rules made from indicator values: the "ip:port" and "url" rules
// and the escapes they use. Input: the indicator's value, malware name,
// threat type, confidence level, id and first-seen date, separated by NUL
// bytes. Every rule made must be one line whose quoted values hold no
// unescaped '"' or ';', so that it has exactly the template's options.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "threats/IocRules.h"
#include "threats/ThreatItem.h"

namespace {

struct Options {
  std::vector<std::string> keywords;  // of each option, in order
  std::vector<std::string> quoted;    // each quoted value, escapes kept
};

std::string keywordOf(const std::string& option) {
  const size_t begin = option.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  const size_t end = option.find_first_of(":", begin);
  return option.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The options between "(" and the closing ";)", cut at ';' outside quotes; a
// backslash inside quotes escapes the next character.
Options optionsOf(const std::string& rule) {
  const size_t open = rule.find('(');
  FUZZ_CHECK(open != std::string::npos);
  FUZZ_CHECK(rule.substr(0, open).find('"') == std::string::npos);
  FUZZ_CHECK(rule.size() >= open + 3 && rule.compare(rule.size() - 2, 2, ";)") == 0);
  Options options;
  std::string option;
  std::string value;
  bool inQuote = false;
  for (size_t i = open + 1; i + 1 < rule.size(); ++i) {
    const char c = rule[i];
    if (inQuote) {
      if (c == '\\') {
        FUZZ_CHECK(i + 2 < rule.size());
        value += c;
        value += rule[++i];
      } else if (c == '"') {
        inQuote = false;
        options.quoted.push_back(value);
      } else {
        FUZZ_CHECK(c != ';');
        value += c;
      }
    } else if (c == '"') {
      inQuote = true;
      value.clear();
    } else if (c == ';') {
      options.keywords.push_back(keywordOf(option));
      option.clear();
    } else {
      option += c;
    }
  }
  FUZZ_CHECK(!inQuote);
  FUZZ_CHECK(option.empty());
  return options;
}

void checkLine(const std::string& rule) {
  for (char c : rule) {
    const auto byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(byte >= 0x20 && byte != 0x7f);
  }
}

void checkIpPortRule(const ThreatItem& item) {
  const ioc_rules::Rule rule = ioc_rules::ipPortRule(item, ioc_rules::kFirstSid);
  FUZZ_CHECK(rule.text.empty() != rule.skipped.empty());
  if (rule.text.empty()) return;
  checkLine(rule.text);
  const Options options = optionsOf(rule.text);
  const std::vector<std::string> expected = {"msg",      "threshold", "reference", "target",
                                             "metadata", "sid",       "rev"};
  FUZZ_CHECK(options.keywords == expected);
  FUZZ_CHECK(options.quoted.size() == 1);
}

void checkUrlRule(const ThreatItem& item) {
  const ioc_rules::Rule rule = ioc_rules::urlRule(item, ioc_rules::kFirstSid);
  FUZZ_CHECK(rule.text.empty() != rule.skipped.empty());
  if (rule.text.empty()) return;
  checkLine(rule.text);
  const Options options = optionsOf(rule.text);
  const std::vector<std::string> expected = {
      "msg",       "flow",   "http.method", "content",   "http.uri", "content",
      "depth",     "nocase", "http.host",   "content",   "depth",    "isdataat",
      "reference", "target", "metadata",    "classtype", "sid",      "rev"};
  FUZZ_CHECK(options.keywords == expected);
  FUZZ_CHECK(options.quoted.size() == 4);
  // Content matches carry no escapes: special bytes are hex blocks, closed.
  for (size_t i = 1; i < options.quoted.size(); ++i) {
    const std::string& content = options.quoted[i];
    FUZZ_CHECK(content.find('\\') == std::string::npos);
    size_t bars = 0;
    for (char c : content) bars += c == '|';
    FUZZ_CHECK(bars % 2 == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::fields(data, size, 6);
  ThreatItem item;
  item.ioc_value = parts[0];
  item.malware_printable = parts[1];
  item.threat_type = parts[2];
  item.confidence_level = parts[3];
  item.id = parts[4];
  item.first_seen_utc = parts[5];
  checkIpPortRule(item);
  checkUrlRule(item);

  std::string escaped;
  if (ioc_rules::escapeMessage(parts[1], escaped)) {
    size_t plain = 0;
    for (size_t i = 0; i < escaped.size(); ++i) {
      if (escaped[i] == '\\') ++i;
      ++plain;
    }
    FUZZ_CHECK(plain == parts[1].size());
  }
  const std::string content = ioc_rules::escapeContent(parts[0]);
  FUZZ_CHECK(content.find_first_of("\";\\") == std::string::npos);
  if (ioc_rules::isPlainToken(parts[4])) {
    FUZZ_CHECK(parts[4].find_first_of(" ;\"\\") == std::string::npos);
  }
  return 0;
}
