// Feed CSV lines and stored JSON objects to indicator records, and back.
#include "threats/ThreatItem.h"

#include "threats/FeedColumns.h"
#include "threats/MurmurHash.h"

namespace {

constexpr uint64_t kHashSeed = 0xc70f6907ULL;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

// The text members in JSON key order, for reading and writing alike.
using TextMember = ThreatItem::TextMember;
struct NamedMember {
  std::string_view key;  // a literal: data() is terminated
  TextMember member;
};
constexpr NamedMember kTextMembers[] = {
    {"anonymous", &ThreatItem::anonymous},
    {"confidence_level", &ThreatItem::confidence_level},
    {"first_seen_utc", &ThreatItem::first_seen_utc},
    {"id", &ThreatItem::id},
    {"ioc_type", &ThreatItem::ioc_type},
    {"ioc_value", &ThreatItem::ioc_value},
    {"last_seen_utc", &ThreatItem::last_seen_utc},
    {"malware", &ThreatItem::malware},
    {"malware_alias", &ThreatItem::malware_alias},
    {"malware_printable", &ThreatItem::malware_printable},
    {"reference", &ThreatItem::reference},
    {"reporter", &ThreatItem::reporter},
    {"tags", &ThreatItem::tags},
    {"threat_type", &ThreatItem::threat_type},
};

}  // namespace

std::vector<std::string> ThreatItem::parseCsvLine(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == ',' && !quoted) {
      fields.push_back(std::move(field));
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

std::string ThreatItem::trim(const std::string& text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

ThreatItem ThreatItem::parse_csv1(const std::string& line) {
  static const FeedColumns kByPosition;
  return kByPosition.record(parseCsvLine(line));
}

std::string ThreatItem::textMember(const Json::Value& object, const char* key) {
  const Json::Value& value = object[key];
  return value.isNull() ? std::string() : value.asString();
}

bool ThreatItem::statusMember(const Json::Value& object) { return object["status"].asBool(); }

ThreatItem ThreatItem::parsejson(const Json::Value& object) {
  ThreatItem item;
  for (const NamedMember& named : kTextMembers) {
    item.*named.member = textMember(object, named.key.data());
  }
  item.status = statusMember(object);
  item.identify();
  return item;
}

Json::Value ThreatItem::toJson() const {
  Json::Value object(Json::objectValue);
  for (const NamedMember& named : kTextMembers) object[named.key.data()] = this->*named.member;
  object["status"] = status;
  object["uid"] = Json::Value::UInt64(uid);
  object["uniq_id"] = uniq_id;
  return object;
}

int ThreatItem::textMemberIndex(std::string_view key) {
  for (int i = 0; i < kTextMemberCount; ++i) {
    if (key == kTextMembers[i].key) return i;
  }
  return -1;
}

ThreatItem::TextMember ThreatItem::textMemberAt(int index) { return kTextMembers[index].member; }
std::string_view ThreatItem::textMemberKey(int index) { return kTextMembers[index].key; }

uint64_t ThreatItem::calculate_hash() const {
  const std::string input = id + ioc_type + ioc_value;
  return MurmurHash64A(input.data(), input.size(), kHashSeed);
}

std::string ThreatItem::hash_to_string(uint64_t value) { return std::to_string(value); }

void ThreatItem::identify() {
  uid = calculate_hash();
  uniq_id = hash_to_string(uid);
}
