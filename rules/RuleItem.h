// One rule of the rules file as a record, and its JSON form (the rule object
// of every rule query). The fields are read by rules/RuleReader.h.
#ifndef RULES_RULEITEM_H_
#define RULES_RULEITEM_H_

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rules/RuleReader.h"

struct RuleItem {
  std::string content;    // the line without one leading "#"; nothing else trimmed
  std::string action;     // first header token
  std::string protocol;   // second header token, or "unknown"
  std::string classtype;  // the classtype option, or "unlnown"
  uint32_t sid = 0;
  uint32_t rev = 0;      // 0 for a rule without a numeric rev
  std::string msg;       // the msg option, quotes kept, or "undefined"
  bool enabled = false;  // false exactly when the line's first character is "#"

  static RuleItem from(const RuleView& rule);
  // The rule of one logical line (without its newline); nothing when the
  // line is not a rule.
  static std::optional<RuleItem> read(std::string_view line);
  // True when `line` is a rule: the edits write no line that is not one.
  static bool readable(std::string_view line);

  // The rule object: "action", "classtype", "content", "enabled", "msg",
  // "protocol", "rev", "sid".
  Json::Value toJson() const;
};

#endif  // RULES_RULEITEM_H_
