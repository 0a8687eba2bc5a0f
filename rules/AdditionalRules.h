// The five categories of DNS blocking rules in the additional rules file
// ("application.settings.additional_rules"): their status, and switching
// whole categories on or off.
#ifndef RULES_ADDITIONALRULES_H_
#define RULES_ADDITIONALRULES_H_

#include <json/value.h>

#include <string>

#include "rules/RuleUpdateData.h"

namespace rules {

// The status array as JSON text ("null" when no "drop dns" line exists,
// also for a missing file), or "Unable to read rule file" on any error.
std::string getAdditionalRuleStatus();
// Switches the category lines to the wanted state and rewrites the file
// (created when missing). False when the configuration or the file cannot
// be read; std::runtime_error naming the file when it cannot be replaced.
// The file is unchanged on every failure.
bool updateAdditionalRulesFile(const RuleUpdateData& data);

// Pure parts of the two above. The status array: one {"title", "status"}
// object per "drop dns" line in file order (see BlockingStatus), or null
// when there is none.
Json::Value additionalRuleStatusOf(const std::string& text);
// `text` with each category line switched to the state `data` wants.
std::string categoriesApplied(const std::string& text, const RuleUpdateData& data);

}  // namespace rules

#endif  // RULES_ADDITIONALRULES_H_
