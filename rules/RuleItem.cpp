// A rule record from the reader's views, and its JSON form.
#include "rules/RuleItem.h"

#include "rules/RuleLines.h"

RuleItem RuleItem::from(const RuleView& rule) {
  RuleItem item;
  item.content = std::string(rule.content);
  item.action = std::string(rule.action);
  item.protocol = std::string(rule.protocol);
  item.classtype = std::string(rule.classtype);
  item.sid = rule.sid;
  item.rev = rule.rev;
  item.msg = std::string(rule.msg);
  item.enabled = rule.enabled;
  return item;
}

std::optional<RuleItem> RuleItem::read(std::string_view line) {
  RuleView rule;
  if (!readRule(line, rule)) return std::nullopt;
  return from(rule);
}

bool RuleItem::readable(std::string_view line) {
  RuleView rule;
  if (!readRule(line, rule) || rule_lines::continuation(line) != std::string_view::npos) {
    return false;
  }
  // Without a rev the rule has revision 0; a rev that is no number is refused.
  if (rule.revRead) return true;
  RuleOptions options(line);
  RuleOption option;
  while (options.next(option)) {
    if (option.keyword == "rev") return false;
  }
  return true;
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
