// Pure text transforms of the rule edits, over the file's logical lines.
#include "rules/RuleText.h"

#include <utility>

#include "rules/RuleItem.h"
#include "rules/RuleLines.h"
#include "rules/RuleReader.h"

namespace {

using rule_lines::LogicalLine;

// The line's text after its leading blanks and tabs.
std::string_view withoutIndent(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The bytes of a logical line's physical lines, and the first of them.
std::string_view physicalOf(std::string_view text, const LogicalLine& line) {
  return text.substr(line.begin, line.end - line.begin);
}

// Calls `visit(piece)` for each physical line of a logical line's bytes,
// empty ones included (a continued line may go on in an empty one).
template <typename Visit>
void forEachPhysical(std::string_view span, Visit visit) {
  size_t begin = 0;
  while (true) {
    const size_t newline = span.find('\n', begin);
    visit(span.substr(
        begin, newline == std::string_view::npos ? std::string_view::npos : newline - begin));
    if (newline == std::string_view::npos) return;
    begin = newline + 1;
  }
}

// True when one of the physical lines of `span` satisfies `test`.
template <typename Test>
bool anyPhysical(std::string_view span, Test test) {
  bool found = false;
  forEachPhysical(span, [&](std::string_view piece) { found = found || test(piece); });
  return found;
}

// How the toggle switches a line whose (joined) text is `line`.
enum class Switch { kNone, kDisable, kEnable, kEnableIndented };

Switch switchOf(std::string_view line, std::string_view rule, std::string_view wanted) {
  const std::string_view bare = withoutIndent(line);
  if (bare == wanted) return !line.empty() && line[0] == '#' ? Switch::kEnable : Switch::kDisable;
  if (bare.size() > 1 && bare[0] == '#' && startsWith(bare.substr(1), rule)) {
    return Switch::kEnableIndented;
  }
  return Switch::kNone;
}

// How the toggle switches the logical line `line` whose bytes are `physical`.
// Enabling takes the "#" off its first physical line, so a continued line
// whose "#" stands on a later one (its first holds only blanks and the
// backslash) is not switched: taking a byte off that line would take its
// backslash and split the rule.
Switch switchOfLogical(const LogicalLine& line, std::string_view physical, std::string_view rule,
                       std::string_view wanted) {
  if (line.lines == 1) return switchOf(physical, rule, wanted);
  const Switch how = switchOf(line.text, rule, wanted);
  if (how != Switch::kEnable && how != Switch::kEnableIndented) return how;
  const std::string_view first = physical.substr(0, physical.find('\n'));
  const std::string_view marked = how == Switch::kEnable ? first : withoutIndent(first);
  return !marked.empty() && marked[0] == '#' ? how : Switch::kNone;
}

// Appends `first` (a logical line's first physical line) switched so.
void appendSwitched(std::string& out, std::string_view first, Switch how) {
  if (how == Switch::kDisable) {
    out.push_back('#');
    out.append(first);
    return;
  }
  // Enabled: the "#" goes, and the blanks after it, so the line starts with
  // its action (the loader skips a line that starts with a blank).
  const std::string_view marked = how == Switch::kEnable ? first : withoutIndent(first);
  const std::string_view rest = marked.substr(1);
  const size_t action = rest.find_first_not_of(" \t");
  out.append(action == std::string_view::npos ? std::string_view() : rest.substr(action));
}

void appendLine(std::string& out, std::string_view line) { out.append(line).push_back('\n'); }

}  // namespace

namespace rules {

std::string_view withoutComment(std::string_view line) {
  if (!line.empty() && line[0] == '#') line.remove_prefix(1);
  const size_t first = line.find_first_not_of(" \t\n\v\f\r");
  return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

std::string toggleComment(std::string_view line) {
  std::string out;
  appendSwitched(out, line, !line.empty() && line[0] == '#' ? Switch::kEnable : Switch::kDisable);
  return out;
}

std::string_view withoutLineEnd(std::string_view rule) {
  if (!rule.empty() && rule.back() == '\r') rule.remove_suffix(1);
  return rule;
}

EditedText toggledText(std::string_view text, const std::string& rule) {
  EditedText edited;
  std::string& result = edited.text;
  result.reserve(text.size() + 16);
  bool fragment = false;
  // A line is matched without its indent, so the rule text is too: the text a
  // listing shows for a line written as "# rule" begins with that blank, and
  // must enable the line.
  std::string_view wanted = withoutIndent(rule);
  if (wanted.empty()) wanted = rule;
  rule_lines::forEach(text, [&](const LogicalLine& line) {
    const std::string_view physical = physicalOf(text, line);
    const Switch how = switchOfLogical(line, physical, rule, wanted);
    if (how == Switch::kNone) {
      fragment = fragment || (line.lines > 1 && anyPhysical(physical, [&](std::string_view p) {
                                return switchOf(p, rule, wanted) != Switch::kNone;
                              }));
      forEachPhysical(physical, [&](std::string_view p) { appendLine(result, p); });
      return;
    }
    edited.result = EditResult::kChanged;
    bool first = true;
    forEachPhysical(physical, [&](std::string_view p) {
      if (first) {
        appendSwitched(result, p, how);
        result.push_back('\n');
        first = false;
      } else {
        appendLine(result, p);
      }
    });
  });
  if (edited.result != EditResult::kChanged) {
    edited.result = fragment ? EditResult::kFragment : EditResult::kNoMatch;
    edited.text.clear();
  }
  return edited;
}

std::string appendedText(const std::string& text, const std::string& rule) {
  std::string result;
  result.reserve(text.size() + rule.size() + 2);
  result = text;
  if (!result.empty() && result.back() != '\n') result.push_back('\n');
  result.append(rule).push_back('\n');
  return result;
}

EditedText deletedText(std::string_view text, const std::string& rule) {
  const std::string_view wanted = withoutComment(rule);
  EditedText edited;
  std::string& kept = edited.text;
  kept.reserve(text.size());
  bool fragment = false;
  rule_lines::forEach(text, [&](const LogicalLine& line) {
    const std::string_view physical = physicalOf(text, line);
    if (withoutComment(line.lines == 1 ? physical : line.text) == wanted) {
      edited.result = EditResult::kChanged;
      return;
    }
    fragment = fragment || (line.lines > 1 && anyPhysical(physical, [&](std::string_view p) {
                              return withoutComment(p) == wanted;
                            }));
    forEachPhysical(physical, [&](std::string_view p) { appendLine(kept, p); });
  });
  if (edited.result != EditResult::kChanged) {
    edited.result = fragment ? EditResult::kFragment : EditResult::kNoMatch;
    kept.clear();
  }
  return edited;
}

bool hasRuleWithSid(std::string_view text, uint32_t sid, size_t skip) {
  bool found = false;
  rule_lines::forEach(text, [&](const LogicalLine& line) {
    uint32_t other = 0;
    if (!found && line.begin != skip && sidOfRule(line.text, other)) found = other == sid;
  });
  return found;
}

UpdateResult updateText(std::string& text, const std::string& oldRule, const std::string& newRule) {
  // No line holds a line break, so a text with one names no rule; replacing
  // it would join the lines around it into one.
  if (oldRule.find_first_of("\r\n") != std::string::npos) return UpdateResult::kNotFound;
  // The first logical line holding the old text, as the one line it becomes.
  bool found = false;
  bool fragment = false;
  size_t begin = 0;
  size_t end = 0;
  std::string before;
  std::string after;
  rule_lines::forEach(text, [&](const LogicalLine& line) {
    if (found || fragment) return;
    const std::string_view physical = physicalOf(text, line);
    const std::string_view joined = line.lines == 1 ? physical : line.text;
    const size_t at = joined.find(oldRule);
    if (at == std::string_view::npos) {
      fragment = line.lines > 1 && physical.find(oldRule) != std::string_view::npos;
      return;
    }
    found = true;
    begin = line.begin;
    end = line.end;
    before.assign(joined);
    after = before;
    after.replace(at, oldRule.size(), newRule);
  });
  if (fragment) return UpdateResult::kFragment;
  if (!found) return UpdateResult::kNotFound;
  if (!RuleItem::readable(after)) return UpdateResult::kUnreadable;
  std::string updated = text;
  updated.replace(begin, end - begin, after);
  // A rule that keeps its own sid takes none from another rule, even where
  // the file already held copies of it.
  uint32_t oldSid = 0;
  uint32_t newSid = 0;
  sidOfRule(after, newSid);
  const bool keepsSid = sidOfRule(before, oldSid) && oldSid == newSid;
  if (!keepsSid && hasRuleWithSid(updated, newSid, begin)) return UpdateResult::kSidInUse;
  text = std::move(updated);
  return UpdateResult::kUpdated;
}

}  // namespace rules
