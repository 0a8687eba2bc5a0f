// Rule texts made from indicators, byte for byte, for ordinary values and for
// hostile ones that must not change a rule's meaning.
#include "threats/IocRules.h"

#include <gtest/gtest.h>

#include "threats/ThreatItem.h"

namespace {

ThreatItem indicator(const std::string& type, const std::string& value) {
  ThreatItem item;
  item.id = "1234";
  item.ioc_type = type;
  item.ioc_value = value;
  item.threat_type = "botnet_cc";
  item.malware_printable = "Cobalt Strike";
  item.confidence_level = "100";
  item.first_seen_utc = "2024-03-01 10:20:30";
  return item;
}

TEST(IocRulesTest, DomainRuleLoadsTheListPathVerbatim) {
  EXPECT_EQ(ioc_rules::domainRule("/var/lib/suricata/data/domains.lst"),
            "drop dns $HOME_NET any -> any any (msg:\"DNS Query to Malicious FQDN PAVORA ver\"; "
            "dns.query; dataset:isset, domains_iocs, type string, load "
            "/var/lib/suricata/data/domains.lst, memcap 10mb, hashsize 1024; classtype: "
            "trojan-activity; sid:1000000; rev:1;)");
}

TEST(IocRulesTest, AddressAndPortRuleFollowsItsTemplate) {
  EXPECT_EQ(ioc_rules::ipPortRule(indicator("ip:port", "192.0.2.7:443"), 1500000).text,
            "drop tcp $HOME_NET any -> [192.0.2.7]  443 (msg:\"Vazo-Pavora:Cobalt Strike "
            "botnet_cc traffic (ip:port - confidence level:100 )\"; threshold: type limit, track "
            "by_src, seconds 60, count 1; reference:url, /ioc/1234/;target:src_ip; metadata: "
            "confidence_level 100, first_seen 2024_03_01_10_20_30; sid:1500000; rev:1;)");

  ThreatItem bare = indicator("ip:port", "198.51.100.1:8080");
  bare.confidence_level = "";
  bare.malware_printable = "";
  bare.threat_type = "";
  bare.first_seen_utc = "";
  EXPECT_EQ(ioc_rules::ipPortRule(bare, 1500009).text,
            "drop tcp $HOME_NET any -> [198.51.100.1]  8080 (msg:\"Vazo-Pavora:  traffic "
            "(ip:port - confidence level:0 )\"; threshold: type limit, track by_src, seconds 60, "
            "count 1; reference:url, /ioc/1234/;target:src_ip; metadata: confidence_level 0, "
            "first_seen ; sid:1500009; rev:1;)");
}

TEST(IocRulesTest, UrlRuleUsesPathOrHostAsUriContent) {
  struct Case {
    const char* value;
    const char* uri;
    int uriDepth;
    const char* host;
    int hostDepth;
  };
  const Case cases[] = {
      {"http://Evil.Example", "evil.example", 12, "evil.example", 12},
      {"http://evil.example:8080/Gate.php?id=1", "/Gate.php", 9, "evil.example", 12},
      {"https://evil.example:8443", "evil.example:8443", 17, "evil.example", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ioc_rules::urlRule(indicator("url", c.value), 1500003).text,
              std::string("drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver "
                          "url: Cobalt Strike  botnet_cc traffic (url - confidence level: "
                          "100)\"; flow:established, from_client; http.method; content:\"GET\"; "
                          "http.uri; content:\"") +
                  c.uri + "\";depth:" + std::to_string(c.uriDepth) +
                  "; nocase; http.host; content:\"" + c.host +
                  "\";depth:" + std::to_string(c.hostDepth) +
                  "; isdataat:!1,relative; reference:url, /ioc/1234/;target:src_ip; metadata: "
                  "confidence_level 100, first_seen 2024_03_01_10_20_30; "
                  "classtype:trojan-activity; sid:1500003; rev:1;)");
  }
}

TEST(IocRulesTest, UrlRuleFillsEmptyValuesWithUnknown) {
  ThreatItem item;
  item.ioc_type = "url";
  item.ioc_value = "http://a.example/x";
  EXPECT_EQ(ioc_rules::urlRule(item, 1500000).text,
            "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: unknown  "
            "unknown traffic (url - confidence level: 0)\"; flow:established, from_client; "
            "http.method; content:\"GET\"; http.uri; content:\"/x\";depth:2; nocase; http.host; "
            "content:\"a.example\";depth:9; isdataat:!1,relative; reference:url, "
            "/ioc/unknown/;target:src_ip; metadata: confidence_level 0, first_seen unknown; "
            "classtype:trojan-activity; sid:1500000; rev:1;)");
}

// A feed value with quotes, semicolons or pipes must stay inside its quoted
// option: escaped in msg, written as hex bytes in content.
TEST(IocRulesTest, HostileValuesAreEscapedInMessageAndContent) {
  ThreatItem item = indicator("url", "http://x.example/a\";drop|b;\\c\r\nd");
  item.malware_printable = "Evil\"; sid:1; classtype:x";
  item.threat_type = "back\\slash";
  const std::string rule = ioc_rules::urlRule(item, 1500000).text;
  EXPECT_EQ(rule,
            "drop http $HOME_NET any -> $EXTERNAL_NET any (msg:\"VAZO PAVORA ver url: "
            "Evil\\\"\\; sid:1\\; classtype:x  back\\\\slash traffic (url - confidence level: "
            "100)\"; flow:established, from_client; http.method; content:\"GET\"; http.uri; "
            "content:\"/a|22 3B|drop|7C|b|3B 5C|c|0D 0A|d\";depth:16; nocase; http.host; "
            "content:\"x.example\";depth:9; isdataat:!1,relative; reference:url, "
            "/ioc/1234/;target:src_ip; metadata: confidence_level 100, first_seen "
            "2024_03_01_10_20_30; classtype:trojan-activity; sid:1500000; rev:1;)");
  EXPECT_EQ(rule.find('\n'), std::string::npos);
}

TEST(IocRulesTest, IndicatorsThatCannotBePlacedSafelyMakeNoRule) {
  struct Case {
    const char* what;
    const char* type;
    const char* value;
    std::string member;  // member set to `text`, or ""
    const char* text;
  };
  const Case cases[] = {
      {"no colon", "ip:port", "192.0.2.1", "", ""},
      {"address with bracket", "ip:port", "192.0.2.1],[any:80", "", ""},
      {"address is a name", "ip:port", "evil.example:80", "", ""},
      {"empty address", "ip:port", ":80", "", ""},
      {"port of letters", "ip:port", "192.0.2.1:http", "", ""},
      {"port with rule text", "ip:port", "192.0.2.1:80 (msg:\"x\"; sid:1;)", "", ""},
      {"port zero", "ip:port", "192.0.2.1:0", "", ""},
      {"port too large", "ip:port", "192.0.2.1:65536", "", ""},
      {"empty port", "ip:port", "192.0.2.1:", "", ""},
      {"line break in message", "ip:port", "192.0.2.1:80", "malware_printable", "a\nb"},
      {"line break in threat", "url", "http://x.example/", "threat_type", "a\rb"},
      {"semicolon in id", "ip:port", "192.0.2.1:80", "id", "1; sid:5"},
      {"slash in id", "url", "http://x.example/", "id", "../1"},
      {"letters and blank in confidence", "ip:port", "192.0.2.1:80", "confidence_level", "high, x"},
      {"comma in first seen", "url", "http://x.example/", "first_seen_utc", "2024,01"},
      {"url without scheme", "url", "x.example/path", "", ""},
      {"url without host", "url", "http:///path", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ThreatItem item = indicator(c.type, c.value);
    if (c.member == ("malware_printable")) item.malware_printable = c.text;
    if (c.member == ("threat_type")) item.threat_type = c.text;
    if (c.member == ("id")) item.id = c.text;
    if (c.member == ("confidence_level")) item.confidence_level = c.text;
    if (c.member == ("first_seen_utc")) item.first_seen_utc = c.text;
    const ioc_rules::Rule rule = item.ioc_type == "url" ? ioc_rules::urlRule(item, 1500000)
                                                        : ioc_rules::ipPortRule(item, 1500000);
    EXPECT_EQ(rule.text, "");
    EXPECT_NE(rule.skipped, "");
  }
}

TEST(IocRulesTest, PortIsWrittenAsItsNumber) {
  EXPECT_NE(ioc_rules::ipPortRule(indicator("ip:port", "192.0.2.1:065535"), 1)
                .text.find("[192.0.2.1]  65535 ("),
            std::string::npos);
  EXPECT_EQ(ioc_rules::ipPortRule(indicator("ip:port", "192.0.2.1:1"), 1).skipped, "");
}

TEST(IocRulesTest, Base64FollowsRfc4648) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"a-very-long-domain-name-beyond-sixty-four-bytes.subdomain.example.com",
       "YS12ZXJ5LWxvbmctZG9tYWluLW5hbWUtYmV5b25kLXNpeHR5LWZvdXItYnl0ZXMuc3ViZG9tYWluLmV4YW1wbGUu"
       "Y29t"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(threats::base64_encode(in), out) << in;
}

TEST(IocRulesTest, AddressAndPortSplitAtTheFirstColon) {
  std::string ip = "old";
  std::string port = "old";
  EXPECT_FALSE(threats::extract_ip_and_port("192.0.2.1", ip, port));
  EXPECT_EQ(ip, "old");
  EXPECT_TRUE(threats::extract_ip_and_port("192.0.2.1:80:90", ip, port));
  EXPECT_EQ(ip, "192.0.2.1");
  EXPECT_EQ(port, "80:90");
}

}  // namespace
