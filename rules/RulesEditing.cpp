// Edits of the rules file: toggle, add, delete and update. Each runs under
// the file's edit lock and replaces the file atomically when it changes it.
#include "rules/Rules.h"

#include "common/AtomicFile.h"
#include "rules/RuleFiles.h"
#include "rules/RuleFunctions.h"

namespace {

constexpr char kUnableToOpen[] = "Unable to open rules file";

// The line's text after its leading blanks and tabs.
std::string_view withoutIndent(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string Rules::toggleComment(const std::string& line) {
  if (!line.empty() && line[0] == '#') return line.substr(1);
  return "#" + line;
}

std::optional<std::string> Rules::toggledText(const std::string& text, const std::string& rule) {
  std::string result;
  result.reserve(text.size() + 16);
  bool switched = false;
  // A line is matched without its indent, so the rule text is too: the text a
  // listing shows for a line enabled from "# rule" begins with that blank,
  // and must disable the line again.
  std::string_view wanted = withoutIndent(rule);
  if (wanted.empty()) wanted = rule;
  rule_files::forEachLine(text, [&](std::string_view line) {
    const std::string_view bare = withoutIndent(line);
    if (bare == wanted) {
      if (!line.empty() && line[0] == '#') {
        result.append(line.substr(1));
      } else {
        result.append("#").append(line);
      }
      switched = true;
    } else if (bare.size() > 1 && bare[0] == '#' && startsWith(bare.substr(1), rule)) {
      result.append(bare.substr(1));
      switched = true;
    } else {
      result.append(line);
    }
    result.push_back('\n');
  });
  if (!switched) return std::nullopt;
  return result;
}

std::string Rules::appendedText(const std::string& text, const std::string& rule) {
  std::string result;
  result.reserve(text.size() + rule.size() + 2);
  result = text;
  if (!result.empty() && result.back() != '\n') result.push_back('\n');
  result.append(rule).push_back('\n');
  return result;
}

std::optional<std::string> Rules::deletedText(const std::string& text, const std::string& rule) {
  const std::string wanted = RuleFunctions::removeComment(rule);
  std::string kept;
  kept.reserve(text.size());
  bool removed = false;
  rule_files::forEachLine(text, [&](std::string_view line) {
    if (RuleFunctions::removeComment(std::string(line)) == wanted) {
      removed = true;
    } else {
      kept.append(line).push_back('\n');
    }
  });
  if (!removed) return std::nullopt;
  return kept;
}

std::optional<std::string> Rules::updatedText(const std::string& text, const std::string& oldRule,
                                              const std::string& newRule) {
  // No line holds a newline, so a text with one names no rule; replacing it
  // would join the lines around it into one.
  if (oldRule.find('\n') != std::string::npos) return std::nullopt;
  const size_t at = text.find(oldRule);
  if (at == std::string::npos) return std::nullopt;
  std::string result = text;
  result.replace(at, oldRule.size(), newRule);
  return result;
}

bool Rules::toggleRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) throw RulesException(kUnableToOpen);
  const std::optional<std::string> toggled = toggledText(*text, rule);
  if (!toggled) return false;
  replaceFileAtomically(rulesFile, *toggled);
  return true;
}

Rules::AddResult Rules::addRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::string text = rule_files::readExistingOrEmpty(rulesFile);
  if (RuleFunctions::text_has_sid(text, RuleFunctions::get_sid_safe(rule))) {
    return AddResult::kSidInUse;
  }
  if (text.find(rule) != std::string::npos) return AddResult::kAlreadyExists;
  replaceFileAtomically(rulesFile, appendedText(text, rule));
  return AddResult::kAdded;
}

bool Rules::deleteRule(const std::string& rulesFile, const std::string& rule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) return false;
  const std::optional<std::string> kept = deletedText(*text, rule);
  if (!kept) return false;
  replaceFileAtomically(rulesFile, *kept);
  return true;
}

bool Rules::updateRule(const std::string& rulesFile, const std::string& oldRule,
                       const std::string& newRule) {
  const auto lock = rule_files::lockForEdit(rulesFile);
  const std::optional<std::string> text = rule_files::readIfOpenable(rulesFile);
  if (!text) return false;
  const std::optional<std::string> updated = updatedText(*text, oldRule, newRule);
  if (!updated) return false;
  replaceFileAtomically(rulesFile, *updated);
  return true;
}
