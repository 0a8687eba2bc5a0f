// File access shared by the rule operations: whole-file reads, line walks
// over a text, and the lock that serialises the edits of one file.
#ifndef RULES_RULEFILES_H_
#define RULES_RULEFILES_H_

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace rule_files {

// Whole content of `path`; nothing when it cannot be opened. Throws
// RulesException when reading fails after the file was opened.
std::optional<std::string> readIfOpenable(const std::string& path);

// Whole content of `path`, "" when the file does not exist. Throws
// RulesException "Unable to open rules file" when it exists but cannot be
// read: callers rewrite the file from what they read, so an unreadable file
// must not count as empty.
std::string readExistingOrEmpty(const std::string& path);

// Calls `visit(line)` for each line of `text`: lines end at a newline, and
// a last line without one still counts (an empty text has no line).
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) {
      visit(text.substr(begin));
      return;
    }
    visit(text.substr(begin, end - begin));
    begin = end + 1;
  }
}

// Held for the whole read-change-write of the file at `path`, so that two
// edits of one file within the process both take effect.
std::unique_lock<std::mutex> lockForEdit(const std::string& path);

}  // namespace rule_files

#endif  // RULES_RULEFILES_H_
