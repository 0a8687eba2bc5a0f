// Pure text transforms of the rule edits: what toggling, adding, deleting or
// updating a rule makes of the rules file's text. Lines end at a newline; a
// last line without one still counts, and every rewritten line ends with one
// (a carriage return before a newline is part of its line and stays). A rule
// written over several lines (rules/RuleLines.h) is named by its joined
// text; an edit works on all of its lines or, named by a part of one of
// them, is refused (kFragment) and changes nothing.
#ifndef RULES_RULETEXT_H_
#define RULES_RULETEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace rules {

// `line` without one "#" in first position, then without its leading white
// space (blank, tab, newline, vertical tab, form feed, carriage return).
std::string_view withoutComment(std::string_view line);

// `line` with "#" put in front, or, when it starts with "#", without it and
// the blanks after it: the loader skips a line that starts with a blank.
std::string toggleComment(std::string_view line);

enum class EditResult { kChanged, kNoMatch, kFragment };
struct EditedText {
  EditResult result = EditResult::kNoMatch;
  std::string text;  // the new text when kChanged
};

// Each line whose text after leading blanks and tabs equals `rule` after
// its own (unless it is nothing but those) is switched: disabled by a "#" in
// front (its blanks kept behind it), enabled by losing its "#" and the
// blanks after it. A line that after them is "#" followed by text beginning
// with `rule` is enabled and loses them too. A continued rule is switched on
// its first line.
EditedText toggledText(std::string_view text, const std::string& rule);
// `text` followed by `rule` and a newline, with a newline put between when
// the last line lacks one.
std::string appendedText(const std::string& text, const std::string& rule);
// `text` without each rule (all of its lines) equal to `rule` once both go
// through withoutComment.
EditedText deletedText(std::string_view text, const std::string& rule);

// True when a rule of `text`, other than the one whose first line starts at
// byte `skip`, has `sid`.
bool hasRuleWithSid(std::string_view text, uint32_t sid, size_t skip = std::string_view::npos);

// A rule text as the listing shows it for a file with CRLF line ends: one
// carriage return at its end is its line's end, not part of the text.
std::string_view withoutLineEnd(std::string_view rule);

// What an update of the rules file's text comes to.
enum class UpdateResult { kUpdated, kNotFound, kUnreadable, kSidInUse, kFragment };
// Replaces the first occurrence of `oldRule` in `text` by `newRule` (both
// single lines, each without a trailing carriage return, see withoutLineEnd)
// and returns kUpdated; in a continued rule, the occurrence in its joined
// text, and the rule is then written as one line. Leaves `text` as it was
// and returns kNotFound when there is none (an `oldRule` holding a line
// break names no line, so it finds none either), kFragment when the first
// occurrence is in a line of a continued rule but not in its joined text,
// kUnreadable when the line that would result is not one that
// RuleItem::readable accepts, kSidInUse when it takes a sid that another
// rule carries (keeping the rule's own sid is no conflict).
UpdateResult updateText(std::string& text, const std::string& oldRule, const std::string& newRule);

}  // namespace rules

#endif  // RULES_RULETEXT_H_
