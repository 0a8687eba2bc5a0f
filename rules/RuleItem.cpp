// Parsing of one rule line and its JSON form.
#include "rules/RuleItem.h"

#include <stdexcept>

#include "rules/ParsedRules.h"

RuleItem RuleItem::parse(const std::string& line) {
  RuleView rule;
  const LineError error = parseRuleLine(line, rule);
  if (error != LineError::kNone) throwLineError(error);
  return rule.toItem();
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
