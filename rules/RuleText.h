// Pure text transforms of the rule edits: what toggling, adding, deleting or
// updating a rule makes of the rules file's text. Lines end at a newline; a
// last line without one still counts, and every rewritten line ends with one.
#ifndef RULES_RULETEXT_H_
#define RULES_RULETEXT_H_

#include <optional>
#include <string>

namespace rules {

// `line` with its leading "#" removed, or with "#" put in front.
std::string toggleComment(const std::string& line);
// Each line whose text after leading blanks and tabs equals `rule` after
// its own (unless it is nothing but those) is switched, keeping the line's
// blanks behind a new "#"; a line that after them is "#" followed by text
// beginning with `rule` is enabled and loses them. Nothing when no line
// matches.
std::optional<std::string> toggledText(const std::string& text, const std::string& rule);
// `text` followed by `rule` and a newline, with a newline put between when
// the last line lacks one.
std::string appendedText(const std::string& text, const std::string& rule);
// `text` without each line equal to `rule` once both lose a leading "#" and
// leading white space; nothing when none.
std::optional<std::string> deletedText(const std::string& text, const std::string& rule);

// What an update of the rules file's text comes to.
enum class UpdateResult { kUpdated, kNotFound, kUnreadable, kSidInUse };
// Replaces the first occurrence of `oldRule` anywhere in `text` by `newRule`
// (both single lines) and returns kUpdated. Leaves `text` as it was and
// returns kNotFound when there is none (an `oldRule` holding a line break
// names no line, so it finds none either), kUnreadable when the line that would
// result has no sid and rev that RuleItem::parse reads, kSidInUse when it
// takes a sid text that another line carries (keeping the line's own sid is
// no conflict).
UpdateResult updateText(std::string& text, const std::string& oldRule,
                        const std::string& newRule);

}  // namespace rules

#endif  // RULES_RULETEXT_H_
