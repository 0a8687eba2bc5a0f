// Shallow text functions on one line of a Suricata rules file. They do not
// understand the rule language: a line is cut into tokens at fixed delimiter
// characters and values are picked by position or by the keyword before them.
#ifndef RULES_RULEFUNCTIONS_H_
#define RULES_RULEFUNCTIONS_H_

#include <string>
#include <string_view>
#include <vector>

namespace RuleFunctions {

// General tokens: the line cut at blank . , ; : ! ( ) and #, empty tokens
// skipped. Tab is not a delimiter.
std::vector<std::string> get_all_tokens(std::string line);
// Message tokens: the line cut at : ; ( and ), empty tokens skipped; blanks
// and quotes stay inside the tokens.
std::vector<std::string> get_all_message_tokens(const std::string& line);

// Field extractors. None throws; each has a fixed fallback text.
// First general token, "unknown" when the line has none.
std::string get_action_safe(const std::string& line);
// Second general token, "unknown" when there is none.
std::string get_proto_safe(const std::string& line);
// General token after the first token "classtype"; "unlnown" otherwise.
std::string get_classtype_safe(const std::string& line);
// First general token made of digits that follows a token "sid"; "unlnown" otherwise.
std::string get_sid_safe(const std::string& line);
// First general token made of digits that follows a token "rev"; "unlnown" otherwise.
std::string get_revision_safe(const std::string& line);
// Message token after the first message token "msg", verbatim (quotes
// included); "undefined" otherwise.
std::string get_message_safe(const std::string& line);

// True when every character is an ASCII digit; true for the empty string.
bool is_digits(std::string_view text);
// `text` without its leading blanks, tabs, newlines, vertical tabs, form
// feeds and carriage returns.
std::string ltrim(const std::string& text);
// `line` without one "#" in first position, then left-trimmed.
std::string removeComment(const std::string& line);

// True when some line of the rules file ("application.settings.rules_file")
// has a get_sid_safe text equal to `sid`. False when the file cannot be
// opened. Configuration errors (libconfig exceptions) propagate.
bool find_sid(const std::string& sid);
// The same search in the lines of `text` (a whole rules file).
bool text_has_sid(std::string_view text, std::string_view sid);

// ---- Views for callers that read several fields of one line -------------
// They cut the line once and return views into it (valid while it lives);
// the extractors above are these applied to a freshly cut line.

using Tokens = std::vector<std::string_view>;
Tokens generalTokens(std::string_view line);
Tokens messageTokens(std::string_view line);
// The value of each field, or its fallback text.
std::string_view actionOf(const Tokens& general);
std::string_view protocolOf(const Tokens& general);
std::string_view classtypeOf(const Tokens& general);
std::string_view sidOf(const Tokens& general);
std::string_view revisionOf(const Tokens& general);
std::string_view messageOf(const Tokens& message);

}  // namespace RuleFunctions

#endif  // RULES_RULEFUNCTIONS_H_
