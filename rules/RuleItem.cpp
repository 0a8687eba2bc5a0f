// Parsing of one rule line and its JSON form.
#include "rules/RuleItem.h"

#include <stdexcept>

#include "rules/RuleFunctions.h"

namespace {

// The standard signed conversion (leading blanks, sign, digits; failure text
// "stoi"), stored as unsigned.
uint32_t toNumber(std::string_view text) {
  return static_cast<uint32_t>(std::stoi(std::string(text)));
}

}  // namespace

RuleItem RuleItem::parse(const std::string& line) {
  using namespace RuleFunctions;
  RuleItem item;
  item.enabled = line.empty() || line[0] != '#';
  item.content = item.enabled ? line : line.substr(1);

  // A leading "#" is a delimiter, so it never shows in these fields.
  const Tokens general = generalTokens(line);
  item.action = actionOf(general);
  item.protocol = protocolOf(general);
  item.classtype = classtypeOf(general);
  item.sid = toNumber(sidOf(general));
  item.rev = toNumber(revisionOf(general));
  item.msg = messageOf(messageTokens(line));
  return item;
}

bool RuleItem::readable(const std::string& line) {
  try {
    parse(line);
    return true;
  } catch (const std::logic_error&) {  // std::invalid_argument or std::out_of_range
    return false;
  }
}

Json::Value RuleItem::toJson() const {
  Json::Value rule(Json::objectValue);
  rule["content"] = content;
  rule["action"] = action;
  rule["protocol"] = protocol;
  rule["classtype"] = classtype;
  rule["sid"] = Json::UInt(sid);
  rule["rev"] = Json::UInt(rev);
  rule["msg"] = msg;
  rule["enabled"] = enabled;
  return rule;
}
