// Pure text transforms of the rule edits.
#include "rules/RuleText.h"

#include <string_view>
#include <utility>

#include "rules/RuleFiles.h"
#include "rules/RuleFunctions.h"
#include "rules/RuleItem.h"

namespace {

// The line's text after its leading blanks and tabs.
std::string_view withoutIndent(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The bounds [begin, end) of the line of `text` that holds position `at`.
std::pair<size_t, size_t> lineAround(std::string_view text, size_t at) {
  const size_t newline = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
  const size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
  const size_t end = text.find('\n', at);
  return {begin, end == std::string_view::npos ? text.size() : end};
}

// The sid text of the line of `text` that holds position `at`.
std::string sidOfLineAround(std::string_view text, size_t at) {
  const auto [begin, end] = lineAround(text, at);
  return std::string(
      RuleFunctions::sidOf(RuleFunctions::generalTokens(text.substr(begin, end - begin))));
}

// True when a line of `text` other than the one starting at `skip` carries
// the sid text `sid`.
bool otherLineHasSid(std::string_view text, size_t skip, std::string_view sid) {
  bool found = false;
  size_t begin = 0;
  rule_files::forEachLine(text, [&](std::string_view line) {
    if (begin != skip && RuleFunctions::sidOf(RuleFunctions::generalTokens(line)) == sid) {
      found = true;
    }
    begin += line.size() + 1;
  });
  return found;
}

}  // namespace

namespace rules {

std::string toggleComment(const std::string& line) {
  if (!line.empty() && line[0] == '#') return line.substr(1);
  return "#" + line;
}

std::optional<std::string> toggledText(const std::string& text, const std::string& rule) {
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

std::string appendedText(const std::string& text, const std::string& rule) {
  std::string result;
  result.reserve(text.size() + rule.size() + 2);
  result = text;
  if (!result.empty() && result.back() != '\n') result.push_back('\n');
  result.append(rule).push_back('\n');
  return result;
}

std::optional<std::string> deletedText(const std::string& text, const std::string& rule) {
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

UpdateResult updateText(std::string& text, const std::string& oldRule,
                        const std::string& newRule) {
  // No line holds a line break, so a text with one names no rule; replacing
  // it would join the lines around it into one.
  if (oldRule.find_first_of("\r\n") != std::string::npos) return UpdateResult::kNotFound;
  const size_t at = text.find(oldRule);
  if (at == std::string::npos) return UpdateResult::kNotFound;
  const std::string oldSid = sidOfLineAround(text, at);
  std::string updated = text;
  updated.replace(at, oldRule.size(), newRule);

  const auto [begin, end] = lineAround(updated, at);
  const std::string line = updated.substr(begin, end - begin);
  if (!RuleItem::readable(line)) return UpdateResult::kUnreadable;
  // A line that keeps its own sid takes none from another rule, even where
  // the file already held copies of it.
  const std::string sid = sidOfLineAround(line, 0);
  if (sid != oldSid && otherLineHasSid(updated, begin, sid)) return UpdateResult::kSidInUse;
  text = std::move(updated);
  return UpdateResult::kUpdated;
}

}  // namespace rules
