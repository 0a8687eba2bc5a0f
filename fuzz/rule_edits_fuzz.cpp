// The text transforms behind the rule edits (toggle, add, delete, update and
// the additional categories). Input: one byte of category flags, then the
// rule text, the new rule text and the file text, separated by NUL bytes.
// A rule text without line breaks must never merge or split lines, and
// toggling twice must restore what was there.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "rules/RuleFunctions.h"
#include "rules/AdditionalRules.h"
#include "rules/RuleText.h"

namespace {

using fuzz::hasLineBreak;
using fuzz::lines;

std::string withoutIndent(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : line.substr(first);
}

// The file as the edits write it back: every line followed by a newline.
std::string normalised(const std::string& text) {
  std::string out;
  for (const std::string& line : lines(text)) out.append(line).push_back('\n');
  return out;
}

// The edits refuse a rule text that is blank behind an optional "#".
bool namesRule(const std::string& rule) { return !RuleFunctions::removeComment(rule).empty(); }

// The "content" a rule listing shows for `line`.
std::string contentOf(const std::string& line) {
  return !line.empty() && line[0] == '#' ? line.substr(1) : line;
}

void checkToggle(const std::string& text, const std::string& rule) {
  // One "#" comes off a line starting with "##", so it stays disabled.
  if (rule.rfind("##", 0) != 0) {
    FUZZ_CHECK(rules::toggleComment(rules::toggleComment(rule)) == rule);
  }
  if (!namesRule(rule) || hasLineBreak(rule)) return;

  const std::optional<std::string> toggled = rules::toggledText(text, rule);
  if (!toggled) return;
  const std::vector<std::string> before = lines(text);
  const std::vector<std::string> after = lines(*toggled);
  FUZZ_CHECK(before.size() == after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    const std::string& line = before[i];
    const std::string bare = withoutIndent(line);
    FUZZ_CHECK(after[i] == line || after[i] == "#" + line ||
               (!line.empty() && after[i] == line.substr(1)) ||
               (!bare.empty() && after[i] == bare.substr(1)));
  }

  // Toggling a line, then toggling the result by the content a listing shows
  // for it, gives the line back. Not for a line whose "#" follows blanks (it
  // is documented to lose them) or that starts with "##" (the listing shows
  // it as disabled either way).
  for (const std::string& line : before) {
    const std::optional<std::string> one = rules::toggledText(line, rule);
    if (!one) continue;
    const std::string switched = one->substr(0, one->size() - 1);
    const std::string bare = withoutIndent(line);
    if (line.rfind("##", 0) == 0 || (!bare.empty() && bare[0] == '#' && line[0] != '#')) continue;
    const std::string content = contentOf(switched);
    if (!namesRule(content)) continue;
    const std::optional<std::string> back = rules::toggledText(switched, content);
    FUZZ_CHECK(back && *back == line + "\n");
  }

  // With the same text: every line the rule could touch is the rule itself,
  // enabled or disabled, so the second toggle undoes the first.
  if (rule[0] == '#' || rule[0] == ' ' || rule[0] == '\t') return;
  for (const std::string& line : before) {
    if (line != rule && line != "#" + rule && line.find(rule) != std::string::npos) return;
  }
  const std::optional<std::string> twice = rules::toggledText(*toggled, rule);
  FUZZ_CHECK(twice && *twice == normalised(text));
}

void checkAppend(const std::string& text, const std::string& rule) {
  if (hasLineBreak(rule)) return;
  std::vector<std::string> expected = lines(text);
  expected.push_back(rule);
  FUZZ_CHECK(lines(rules::appendedText(text, rule)) == expected);
}

void checkDelete(const std::string& text, const std::string& rule) {
  const std::optional<std::string> kept = rules::deletedText(text, rule);
  const std::string wanted = RuleFunctions::removeComment(rule);
  std::vector<std::string> expected;
  for (const std::string& line : lines(text)) {
    if (RuleFunctions::removeComment(line) != wanted) expected.push_back(line);
  }
  FUZZ_CHECK(kept.has_value() == (expected.size() != lines(text).size()));
  if (kept) FUZZ_CHECK(lines(*kept) == expected);
}

void checkUpdate(const std::string& text, const std::string& oldRule, const std::string& newRule) {
  // The update refuses a blank new text as it refuses one with a line break.
  if (!namesRule(oldRule) || !namesRule(newRule) || hasLineBreak(newRule)) return;
  std::string updated = text;
  if (rules::updateText(updated, oldRule, newRule) != rules::UpdateResult::kUpdated) {
    FUZZ_CHECK(updated == text);  // a refused update leaves the text as it was
    return;
  }
  const std::vector<std::string> before = lines(text);
  const std::vector<std::string> after = lines(updated);
  FUZZ_CHECK(before.size() == after.size());
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  FUZZ_CHECK(changed <= 1);
}

void checkCategories(const std::string& text, uint8_t flags) {
  RuleUpdateData data;
  data.universal = flags & 1;
  data.fakenews = flags & 2;
  data.porno = flags & 4;
  data.gambling = flags & 8;
  data.social = flags & 16;
  const std::vector<std::string> before = lines(text);
  const std::vector<std::string> after = lines(rules::categoriesApplied(text, data));
  FUZZ_CHECK(before.size() == after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    FUZZ_CHECK(after[i] == before[i] || after[i] == rules::toggleComment(before[i]));
  }
  const Json::Value status = rules::additionalRuleStatusOf(text);
  size_t counted = 0;
  for (const std::string& line : before) counted += line.find("drop dns") != std::string::npos;
  FUZZ_CHECK(counted == 0 ? status.isNull() : status.isArray() && status.size() == counted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<std::string> parts = fuzz::fields(data + 1, size - 1, 3);
  const std::string& rule = parts[0];
  const std::string& newRule = parts[1];
  const std::string& text = parts[2];
  checkToggle(text, rule);
  checkAppend(text, rule);
  checkDelete(text, rule);
  checkUpdate(text, rule, newRule);
  checkCategories(text, data[0]);
  return 0;
}
