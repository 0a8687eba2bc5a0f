// Edits of the rules file: toggle, add, delete and update. Each runs under
// the file's edit lock and replaces the file atomically when it changes it.
#include "rules/RuleEdits.h"

#include <optional>

#include "common/AtomicFile.h"
#include "rules/RuleFiles.h"
#include "rules/RuleReader.h"

namespace rules {

EditResult toggleRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) throw RulesException("Unable to open rules file");
  const EditedText toggled = toggledText(*text, rule);
  if (toggled.result == EditResult::kChanged) replaceFileAtomically(rulesFile, toggled.text);
  return toggled.result;
}

AddResult addRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::string text = rule_files::readExistingOrEmpty(rulesFile);
  uint32_t sid = 0;
  if (sidOfRule(rule, sid) && hasRuleWithSid(text, sid)) return AddResult::kSidInUse;
  if (text.find(rule) != std::string::npos) return AddResult::kAlreadyExists;
  replaceFileAtomically(rulesFile, appendedText(text, rule));
  return AddResult::kAdded;
}

EditResult deleteRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) return EditResult::kNoMatch;
  const EditedText kept = deletedText(*text, rule);
  if (kept.result == EditResult::kChanged) replaceFileAtomically(rulesFile, kept.text);
  return kept.result;
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
