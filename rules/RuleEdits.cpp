// Edits of the rules file: toggle, add, delete and update. Each runs under
// the file's edit lock and replaces the file atomically when it changes it.
#include "rules/RuleEdits.h"

#include <optional>

#include "common/AtomicFile.h"
#include "rules/RuleFiles.h"
#include "rules/RuleFunctions.h"

namespace rules {

bool toggleRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) throw RulesException("Unable to open rules file");
  const std::optional<std::string> toggled = toggledText(*text, rule);
  if (!toggled) return false;
  replaceFileAtomically(rulesFile, *toggled);
  return true;
}

AddResult addRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::string text = rule_files::readExistingOrEmpty(rulesFile);
  if (RuleFunctions::text_has_sid(text, RuleFunctions::get_sid_safe(rule))) {
    return AddResult::kSidInUse;
  }
  if (text.find(rule) != std::string::npos) return AddResult::kAlreadyExists;
  replaceFileAtomically(rulesFile, appendedText(text, rule));
  return AddResult::kAdded;
}

bool deleteRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) return false;
  const std::optional<std::string> kept = deletedText(*text, rule);
  if (!kept) return false;
  replaceFileAtomically(rulesFile, *kept);
  return true;
}

UpdateResult updateRule(const std::string& rulesFile, const std::string& oldRule,
                        const std::string& newRule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) return UpdateResult::kNotFound;
  const UpdateResult result = updateText(*text, oldRule, newRule);
  if (result == UpdateResult::kUpdated) replaceFileAtomically(rulesFile, *text);
  return result;
}

}  // namespace rules
