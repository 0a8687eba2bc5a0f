// Texts of the Suricata rules made from indicators. Feed values are outside
// data: each is escaped where the rule syntax allows it, and an indicator
// whose values cannot be placed safely makes no rule at all.
#ifndef THREATS_IOCRULES_H_
#define THREATS_IOCRULES_H_

#include <cstdint>
#include <string>

class ThreatItem;

namespace ioc_rules {

inline constexpr int64_t kFirstSid = 1500000;  // of each run's first address or URL rule

// A rule line (without newline), or, when `text` is empty, why the indicator
// makes none.
struct Rule {
  std::string text;
  std::string skipped;
};

// The one dataset rule (sid 1000000) over the domain list at `listPath`,
// taken as configured.
std::string domainRule(const std::string& listPath);

// The rule dropping traffic to the address and port of an "ip:port" indicator.
// Skipped when the value has no colon, the address is no plain IPv4 or IPv6
// address, the port no number from 1 to 65535, or a value cannot be placed.
Rule ipPortRule(const ThreatItem& item, int64_t sid);

// The rule dropping GET requests for the host and path of a "url" indicator.
// Skipped when the URL has no host or a value cannot be placed.
Rule urlRule(const ThreatItem& item, int64_t sid);

// `value` inside a quoted msg: '"', ';' and '\' get a backslash. False when it
// holds a control character, which no escape can carry in a rule line.
bool escapeMessage(const std::string& value, std::string& escaped);

// `value` inside a quoted content match: '"', ';', '\', '|' and control
// characters are written as hex bytes ("|22 3B|"), so the match is unchanged.
std::string escapeContent(const std::string& value);

// True when `value` can stand unescaped after "reference:" or "metadata:":
// letters, digits, '.', '_' and '-' only (empty included).
bool isPlainToken(const std::string& value);

}  // namespace ioc_rules

#endif  // THREATS_IOCRULES_H_
