// The text transforms behind the rule edits (toggle, add, delete, update and
// the additional categories). Input: one byte of category flags, then the
// rule text, the new rule text and the file text, separated by NUL bytes.
// A rule text without line breaks must never merge or split lines (an
// update turns a continued rule into one line, nothing else), a toggle only
// ever changes the first line of a rule, and toggling twice must restore
// what was there.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "rules/AdditionalRules.h"
#include "rules/RuleLines.h"
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
bool namesRule(const std::string& rule) { return !rules::withoutComment(rule).empty(); }

// `line` enabled: without its "#" and the blanks after it.
std::string enabled(const std::string& line) {
  const size_t action = line.find_first_not_of(" \t", 1);
  return action == std::string::npos ? std::string() : line.substr(action);
}

// Which physical lines of `text` start a logical line.
std::vector<bool> firstLines(const std::string& text) {
  std::vector<bool> first;
  rule_lines::forEach(text, [&](const rule_lines::LogicalLine& line) {
    first.push_back(true);
    first.resize(first.size() + line.lines - 1, false);
  });
  return first;
}

// The logical lines' texts.
std::vector<std::string> logicalLines(const std::string& text) {
  std::vector<std::string> out;
  rule_lines::forEach(text,
                      [&](const rule_lines::LogicalLine& line) { out.emplace_back(line.text); });
  return out;
}

// The "content" a rule listing shows for `line`.
std::string contentOf(const std::string& line) {
  return !line.empty() && line[0] == '#' ? line.substr(1) : line;
}

void checkToggle(const std::string& text, const std::string& rule) {
  // Enabling takes the blanks after the "#" too, and one "#" off "##".
  const bool roundTrips =
      rule.empty() || (rule[0] != ' ' && rule[0] != '\t' &&
                       (rule[0] != '#' || (rule.size() > 1 && rule.find_first_of("# \t", 1) != 1)));
  if (roundTrips) FUZZ_CHECK(rules::toggleComment(rules::toggleComment(rule)) == rule);
  if (!namesRule(rule) || hasLineBreak(rule)) return;

  const rules::EditedText toggled = rules::toggledText(text, rule);
  if (toggled.result != rules::EditResult::kChanged) {
    FUZZ_CHECK(toggled.text.empty());
    return;
  }
  const std::vector<std::string> before = lines(text);
  const std::vector<std::string> after = lines(toggled.text);
  const std::vector<bool> first = firstLines(text);
  FUZZ_CHECK(before.size() == after.size() && first.size() == before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    const std::string& line = before[i];
    if (!first[i]) {
      FUZZ_CHECK(after[i] == line);  // a continued rule's other lines stay
      continue;
    }
    const std::string bare = withoutIndent(line);
    FUZZ_CHECK(after[i] == line || after[i] == "#" + line ||
               (!line.empty() && line[0] == '#' && after[i] == enabled(line)) ||
               (!bare.empty() && bare[0] == '#' && after[i] == enabled(bare)));
  }

  // Toggling a line, then toggling the result by the content a listing shows
  // for it, gives the line back. Not for a line starting with a blank or a
  // tab, nor with "#" and one of them (enabling takes them), nor with "##"
  // (the listing shows it as disabled either way).
  for (const std::string& line : before) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') continue;
    if (line[0] == '#' && (line.size() < 2 || line.find_first_of("# \t", 1) == 1)) continue;
    const rules::EditedText one = rules::toggledText(line, rule);
    if (one.result != rules::EditResult::kChanged) continue;
    const std::string switched = one.text.substr(0, one.text.size() - 1);
    const std::string content = contentOf(switched);
    if (!namesRule(content)) continue;
    const rules::EditedText back = rules::toggledText(switched, content);
    FUZZ_CHECK(back.result == rules::EditResult::kChanged && back.text == line + "\n");
  }

  // With the same text: every rule the text could touch is the rule itself,
  // enabled or disabled, so the second toggle undoes the first.
  if (rule[0] == '#' || rule[0] == ' ' || rule[0] == '\t') return;
  for (const std::string& line : logicalLines(text)) {
    if (line != rule && line != "#" + rule && line.find(rule) != std::string::npos) return;
  }
  for (const std::string& line : before) {
    if (line != rule && line != "#" + rule && line.find(rule) != std::string::npos) return;
  }
  const rules::EditedText twice = rules::toggledText(toggled.text, rule);
  FUZZ_CHECK(twice.result == rules::EditResult::kChanged && twice.text == normalised(text));
}

void checkAppend(const std::string& text, const std::string& rule) {
  if (hasLineBreak(rule)) return;
  std::vector<std::string> expected = lines(text);
  expected.push_back(rule);
  FUZZ_CHECK(lines(rules::appendedText(text, rule)) == expected);
}

void checkDelete(const std::string& text, const std::string& rule) {
  const rules::EditedText kept = rules::deletedText(text, rule);
  const std::string_view wanted = rules::withoutComment(rule);
  // Whole rules go, every line of them; no other line.
  std::vector<std::string> expected;
  const std::vector<std::string> before = lines(text);
  size_t at = 0;
  bool removed = false;
  rule_lines::forEach(text, [&](const rule_lines::LogicalLine& line) {
    const std::string joined = line.lines == 1 ? before[at] : std::string(line.text);
    const bool match = rules::withoutComment(joined) == wanted;
    removed = removed || match;
    for (size_t i = 0; i < line.lines; ++i, ++at) {
      if (!match) expected.push_back(before[at]);
    }
  });
  FUZZ_CHECK((kept.result == rules::EditResult::kChanged) == removed);
  if (removed) FUZZ_CHECK(lines(kept.text) == expected);
}

void checkUpdate(const std::string& text, const std::string& oldRule, const std::string& newRule) {
  // The update refuses a blank new text as it refuses one with a line break.
  if (!namesRule(oldRule) || !namesRule(newRule) || hasLineBreak(newRule)) return;
  std::string updated = text;
  if (rules::updateText(updated, oldRule, newRule) != rules::UpdateResult::kUpdated) {
    FUZZ_CHECK(updated == text);  // a refused update leaves the text as it was
    return;
  }
  // One rule (one line, or the lines of a continued rule) became one line;
  // the lines before and after it are what they were.
  const std::vector<std::string> before = lines(text);
  const std::vector<std::string> after = lines(updated);
  FUZZ_CHECK(!after.empty() && after.size() <= before.size());
  size_t same = 0;
  while (same < after.size() && before[same] == after[same]) ++same;
  size_t tail = 0;
  while (tail + same < after.size() &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  FUZZ_CHECK(same + tail + 1 >= after.size());
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
