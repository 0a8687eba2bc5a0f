// Suricata rules made from indicators: their texts, and the rule files written
// from the store's enabled indicators. Feed values are outside data: each is
// escaped where the rule syntax allows it, and an indicator whose values
// cannot be placed safely makes no rule at all.
#ifndef THREATS_IOCRULES_H_
#define THREATS_IOCRULES_H_

#include <cstdint>
#include <string>

#include "threats/ThreatsException.h"

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

namespace threats {

// ---- The rule files (IocRuleFiles.cpp) ------------------------------------------

// From the enabled records of the store ("application.settings.
// ioc_local_file_name") writes, in this order, the domain list (Base64 lines,
// "ioc_domains_lst"), chowns it to suricata:suricata, then the domain rule
// file ("ioc_domain_rules"), the address-and-port rule file ("ioc_ip_rules")
// and the URL rule file ("ioc_url_rules"), each replaced whole. An indicator
// that cannot make a safe rule is skipped and logged and takes no sid. Throws
// ThreatsException ("Error reading config file", "Config setting not found",
// "Unable to open IOC file", "system() call failed", "system() command
// failed", or the write failure naming the file) or the JSON library's error;
// files after the failing step stay as they were.
void fetch_iocs();

// RFC 4648 Base64 of `text`, with padding, without line breaks.
std::string base64_encode(const std::string& text);

// Splits `value` at its first colon into `ip` and `port`; false (outputs
// untouched) when it has none.
bool extract_ip_and_port(const std::string& value, std::string& ip, std::string& port);

}  // namespace threats

#endif  // THREATS_IOCRULES_H_
