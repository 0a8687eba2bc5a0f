// Rule templates filled with escaped and checked indicator values.
#include "threats/IocRules.h"

#include <arpa/inet.h>

#include <cctype>
#include <initializer_list>

#include "common/Url.h"
#include "threats/ThreatItem.h"

namespace ioc_rules {

namespace {

constexpr char kDomainRuleHead[] =
    "drop dns $HOME_NET any -> any any (msg:\"DNS Query to Malicious FQDN PAVORA ver\"; "
    "dns.query; dataset:isset, domains_iocs, type string, load ";
constexpr char kDomainRuleTail[] =
    ", memcap 10mb, hashsize 1024; classtype: trojan-activity; sid:1000000; rev:1;)";

constexpr char kIpPortTemplate[] =
    "drop tcp $HOME_NET any -> [%s]  %s (msg:\"Vazo-Pavora:%s %s traffic (ip:port - confidence "
    "level:%s )\"; threshold: type limit, track by_src, seconds 60, count 1; reference:url, "
    "/ioc/%s/;target:src_ip; metadata: confidence_level %s, first_seen %s; sid:%i; rev:1;)";

constexpr char kUrlTemplate[] =
    "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: %s  %s traffic "
    "(url - confidence level: %s)\"; flow:established, from_client; http.method; "
    "content:\"GET\"; http.uri; content:\"%s\";depth:%d; nocase; http.host; "
    "content:\"%s\";depth:%d; isdataat:!1,relative; reference:url, /ioc/%s/;target:src_ip; "
    "metadata: confidence_level %s, first_seen %s; classtype:trojan-activity; sid:%d; rev:1;)";

// `pattern` with each "%s", "%i" or "%d" replaced by the next of `values`.
// Values are text of any length: nothing is cut.
std::string fill(const char* pattern, std::initializer_list<std::string> values) {
  std::string text;
  auto next = values.begin();
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'i' || p[1] == 'd') && next != values.end()) {
      text += *next++;
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

std::string orDefault(const std::string& value, const char* fallback) {
  return value.empty() ? std::string(fallback) : value;
}

// The first-seen tag: space, hyphen and colon become underscores.
std::string seenTag(std::string value) {
  for (char& c : value) {
    if (c == ' ' || c == '-' || c == ':') c = '_';
  }
  return value;
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool isPlainAddress(const std::string& address) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, address.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

// The port as a canonical number, or "" when it is none from 1 to 65535.
std::string portNumber(const std::string& port) {
  if (port.empty()) return "";
  long value = 0;
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    value = value * 10 + (c - '0');
    if (value > 65535) return "";
  }
  return value >= 1 && value <= 65535 ? std::to_string(value) : "";
}

Rule skip(std::string why) { return Rule{"", std::move(why)}; }

// The msg texts of both templates; false names the member in `why`.
bool messageValues(const std::string& printable, const std::string& threat,
                   std::string& escapedPrintable, std::string& escapedThreat, std::string& why) {
  if (!escapeMessage(printable, escapedPrintable)) {
    why = "control character in malware_printable";
    return false;
  }
  if (!escapeMessage(threat, escapedThreat)) {
    why = "control character in threat_type";
    return false;
  }
  return true;
}

// Checks the values that stand unescaped after "reference:" and "metadata:".
bool plainValues(const std::string& id, const std::string& confidence, const std::string& seen,
                 std::string& why) {
  if (!isPlainToken(id))
    why = "id is not a plain token";
  else if (!isPlainToken(confidence))
    why = "confidence_level is not a plain token";
  else if (!isPlainToken(seen))
    why = "first_seen_utc is not a plain date";
  return why.empty();
}

}  // namespace

bool escapeMessage(const std::string& value, std::string& escaped) {
  escaped.clear();
  escaped.reserve(value.size());
  for (char c : value) {
    if (isControl(static_cast<unsigned char>(c))) return false;
    if (c == '"' || c == ';' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return true;
}

std::string escapeContent(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(value.size());
  bool inHex = false;
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool special = c == '"' || c == ';' || c == '\\' || c == '|' || isControl(byte);
    if (special) {
      escaped += inHex ? ' ' : '|';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0f];
      inHex = true;
      continue;
    }
    if (inHex) escaped += '|';
    inHex = false;
    escaped += c;
  }
  if (inHex) escaped += '|';
  return escaped;
}

bool isPlainToken(const std::string& value) {
  for (char c : value) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') {
      return false;
    }
  }
  return true;
}

std::string domainRule(const std::string& listPath) {
  return kDomainRuleHead + listPath + kDomainRuleTail;
}

Rule ipPortRule(const ThreatItem& item, int64_t sid) {
  std::string address;
  std::string port;
  if (!threats::extract_ip_and_port(item.ioc_value, address, port)) return skip("no colon");
  if (!isPlainAddress(address)) return skip("not a plain address: " + address);
  const std::string portText = portNumber(port);
  if (portText.empty()) return skip("not a port from 1 to 65535: " + port);

  std::string printable;
  std::string threat;
  std::string why;
  if (!messageValues(item.malware_printable, item.threat_type, printable, threat, why)) {
    return skip(why);
  }
  const std::string confidence = orDefault(item.confidence_level, "0");
  const std::string seen = seenTag(item.first_seen_utc);
  if (!plainValues(item.id, confidence, seen, why)) return skip(why);
  return Rule{fill(kIpPortTemplate, {address, portText, printable, threat, confidence, item.id,
                                     confidence, seen, std::to_string(sid)}),
              ""};
}

Rule urlRule(const ThreatItem& item, int64_t sid) {
  url parts;
  parts.parse(item.ioc_value);
  const std::string host = extract_host_without_port(parts.host);
  const std::string& uri = parts.path.empty() ? parts.host : parts.path;
  if (host.empty()) return skip("no host in the URL");

  std::string printable;
  std::string threat;
  std::string why;
  if (!messageValues(orDefault(item.malware_printable, "unknown"),
                     orDefault(item.threat_type, "unknown"), printable, threat, why)) {
    return skip(why);
  }
  const std::string confidence = orDefault(item.confidence_level, "0");
  const std::string id = orDefault(item.id, "unknown");
  const std::string seen = seenTag(orDefault(item.first_seen_utc, "unknown"));
  if (!plainValues(id, confidence, seen, why)) return skip(why);
  return Rule{
      fill(kUrlTemplate, {printable, threat, confidence, escapeContent(uri),
                          std::to_string(uri.size()), escapeContent(host),
                          std::to_string(host.size()), id, confidence, seen, std::to_string(sid)}),
      ""};
}

}  // namespace ioc_rules
