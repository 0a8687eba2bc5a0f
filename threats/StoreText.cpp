// Writing the store's JSON text record by record.
#include "threats/StoreText.h"

#include <json/value.h>

#include <string_view>

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

void appendMember(std::string& out, std::string_view key, const std::string& value, bool last) {
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
    // Keys in byte order, as the library keeps them: "status" sorts
    // between "reporter" and "tags".
    for (int member = 0; member < ThreatItem::kTextMemberCount; ++member) {
      const std::string_view key = ThreatItem::textMemberKey(member);
      if (key == "tags") {
        out += item.status ? "\n\t\t\"status\" : true," : "\n\t\t\"status\" : false,";
      }
      appendMember(out, key, item.*ThreatItem::textMemberAt(member), false);
    }
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
