// One indicator of compromise from the threat feed, with its CSV form (a feed
// line), its JSON form (the local indicator store and every listing reply) and
// its identity `uid`, by which clients switch it on or off.
#ifndef THREATS_THREATITEM_H_
#define THREATS_THREATITEM_H_

#include <json/value.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ThreatItem {
 public:
  ThreatItem() = default;

  std::string id;         // the feed's own identifier
  std::string ioc_value;  // "address:port", a domain name or a URL
  std::string ioc_type;   // "ip:port", "domain" and "url" are acted on
  std::string threat_type;
  std::string malware;
  std::string malware_alias;
  std::string malware_printable;
  std::string first_seen_utc;    // "%Y-%m-%d %H:%M:%S", as the feed gives it
  std::string last_seen_utc;     // same form, may be empty
  std::string confidence_level;  // kept as text
  std::string reference;
  std::string tags;
  std::string anonymous;
  std::string reporter;
  bool status = true;   // enabled: rules are generated for it
  uint64_t uid = 0;     // MurmurHash64A of id + ioc_type + ioc_value
  std::string uniq_id;  // `uid` in decimal

  // ---- CSV form (feed lines; comment lines are the caller's business) ----

  // The record of one feed line: the 14 fields in feed order, each trimmed,
  // enabled, with uid and uniq_id computed. A line of fewer than 14 fields
  // gives the default record (empty ioc_type, uid 0). Never fails. A feed
  // whose header names its columns is read through FeedColumns instead.
  static ThreatItem parse_csv1(const std::string& line);

  // Splits at commas outside double quotes; quotes open and close anywhere in
  // a field and are dropped, a doubled quote inside quotes is one quote, an
  // unclosed quote keeps the rest of the line. Empty fields are kept except a
  // last one.
  static std::vector<std::string> parseCsvLine(const std::string& line);

  // `text` without leading and trailing " \t\n\v\f\r".
  static std::string trim(const std::string& text);

  // ---- JSON form ------------------------------------------------------------

  // The record of one stored object. Missing or null text members read as "",
  // numbers and booleans as their text; a missing or null "status" reads as
  // false. Stored "uid" and "uniq_id" are ignored and recomputed. Throws the
  // JSON library's Json::LogicError for an array or object under a text key,
  // a string under "status", or an `object` that is no object.
  static ThreatItem parsejson(const Json::Value& object);

  // The 17 members under their own names (the library keeps keys sorted).
  Json::Value toJson() const;

  // The readings of parsejson for one member, for matching stored objects
  // without building whole records. Throw as parsejson does.
  static std::string textMember(const Json::Value& object, const char* key);
  static bool statusMember(const Json::Value& object);

  // The text members in key order: the position of the one stored under
  // `key` (-1 for any other key), and the member at a position.
  using TextMember = std::string ThreatItem::*;
  static constexpr int kTextMemberCount = 14;
  static int textMemberIndex(std::string_view key);
  static TextMember textMemberAt(int index);
  static std::string_view textMemberKey(int index);

  // ---- Identity -------------------------------------------------------------

  // MurmurHash64A (seed 0xc70f6907) of id, ioc_type and ioc_value joined
  // without separator. Does not store the result.
  uint64_t calculate_hash() const;

  // `value` in unsigned decimal.
  static std::string hash_to_string(uint64_t value);

  // Sets uid and uniq_id from the current id, ioc_type and ioc_value; every
  // reader of feed or stored data calls it once the members are set.
  void identify();
};

#endif  // THREATS_THREATITEM_H_
