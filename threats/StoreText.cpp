// Writing the store's JSON text record by record.
#include "threats/StoreText.h"

#include <json/value.h>

#include "common/JsonText.h"

namespace threats {

namespace {

// `text` as a quoted JSON string, escaped as the JSON library escapes it.
void appendQuoted(std::string& out, const std::string& text) {
  bool plain = true;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
      plain = false;
      break;
    }
  }
  if (!plain) {  // control characters and UTF-8: the library's own escapes
    out += json_text::write(Json::Value(text));
    return;
  }
  out += '"';
  out += text;
  out += '"';
}

void appendMember(std::string& out, const char* key, const std::string& value, bool last) {
  out += "\n\t\t\"";
  out += key;
  out += "\" : ";
  appendQuoted(out, value);
  if (!last) out += ',';
}

}  // namespace

std::string storeText(const std::vector<ThreatItem>& records) {
  if (records.empty()) return "null";
  std::string out;
  out.reserve(records.size() * 600);
  out += '[';
  for (size_t i = 0; i < records.size(); ++i) {
    const ThreatItem& item = records[i];
    out += i == 0 ? "\n\t{" : ",\n\t{";
    // Keys in byte order, as the library keeps them.
    appendMember(out, "anonymous", item.anonymous, false);
    appendMember(out, "confidence_level", item.confidence_level, false);
    appendMember(out, "first_seen_utc", item.first_seen_utc, false);
    appendMember(out, "id", item.id, false);
    appendMember(out, "ioc_type", item.ioc_type, false);
    appendMember(out, "ioc_value", item.ioc_value, false);
    appendMember(out, "last_seen_utc", item.last_seen_utc, false);
    appendMember(out, "malware", item.malware, false);
    appendMember(out, "malware_alias", item.malware_alias, false);
    appendMember(out, "malware_printable", item.malware_printable, false);
    appendMember(out, "reference", item.reference, false);
    appendMember(out, "reporter", item.reporter, false);
    out += item.status ? "\n\t\t\"status\" : true," : "\n\t\t\"status\" : false,";
    appendMember(out, "tags", item.tags, false);
    appendMember(out, "threat_type", item.threat_type, false);
    out += "\n\t\t\"uid\" : ";
    out += std::to_string(item.uid);
    out += ',';
    appendMember(out, "uniq_id", item.uniq_id, true);
    out += "\n\t}";
  }
  out += "\n]";
  return out;
}

}  // namespace threats
