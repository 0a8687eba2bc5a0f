// Edits of the rules file (toggle, add, delete, update) and the test run
// that a rule passes before it is added.
#ifndef RULES_RULEEDITS_H_
#define RULES_RULEEDITS_H_

#include <string>
#include <utility>

#include "rules/RuleText.h"
#include "rules/RulesException.h"

namespace rules {

// Edits of one file are serialised within the process, and a changed file
// is replaced atomically (same mode and owner): a failure leaves the old
// content and throws std::runtime_error naming the file. Each applies the
// transform of rules/RuleText.h of the same name to the file's text.

// Switches every rule matching `rule` (see toggledText) and returns what
// toggledText returned; the file is only rewritten on kChanged. Throws
// RulesException "Unable to open rules file".
EditResult toggleRule(const std::string& rulesFile, const std::string& rule);

enum class AddResult { kAdded, kSidInUse, kAlreadyExists };
// Adds `rule` (already validated) as the last line unless a rule of the
// file carries its sid or the file contains its text. A missing file is created;
// one that exists but cannot be read throws RulesException
// "Unable to open rules file".
AddResult addRule(const std::string& rulesFile, const std::string& rule);

// Removes every rule that deletedText removes and returns what it returned;
// kNoMatch too when the file cannot be read.
EditResult deleteRule(const std::string& rulesFile, const std::string& rule);

// Applies updateText (its results are this one's) to the file, which is only
// rewritten on kUpdated. kNotFound too when the file cannot be read.
UpdateResult updateRule(const std::string& rulesFile, const std::string& oldRule,
                        const std::string& newRule);

// Checks `rule` with Suricata's test mode ("suricata -T -c <suricata_conf>
// -S <tmp_rule_file>") after writing it to the scratch file
// "application.settings.tmp_rule_file", each path one argument whatever it
// holds. Returns (true, "") unless the output (standard output and error
// together) holds "E: ", then (false, whole output); any error gives (false,
// its text), except a test run past its time limit, which throws
// process::TimeLimitExceeded: the route's failure, not the rule's.
// Validations are serialised.
std::pair<bool, std::string> validate_rule(const std::string& rule);

}  // namespace rules

#endif  // RULES_RULEEDITS_H_
