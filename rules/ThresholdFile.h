// Suricata's threshold file ("application.settings.threshold_file" for the
// routes): its entries in file order, adding one after Suricata has tested
// the file with it, and removing one by its line. Comments, blank lines and
// lines that hold no entry stay as they are. No HTTP.
#ifndef RULES_THRESHOLDFILE_H_
#define RULES_THRESHOLDFILE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rules/RulesException.h"
#include "rules/ThresholdLine.h"

namespace threshold {

// One entry as the file holds it.
struct ListedEntry {
  LineEntry read;
  uint64_t line = 0;    // 1-based
  std::string content;  // the whole line as it stands, "#" included, without its line feed
};

// The entries of `text` in file order (lines end at a line feed; a last
// line without one counts). Never throws.
std::vector<ListedEntry> entriesOf(std::string_view text);

// The entries of the file at `path`. Throws RulesException "Unable to open
// threshold file" when it cannot be opened.
std::vector<ListedEntry> readEntries(const std::string& path);

// Tests a candidate threshold file: (true, "") when it passes, otherwise
// (false, why). May throw process::TimeLimitExceeded.
using CandidateTest = std::function<std::pair<bool, std::string>(const std::string& candidate)>;

// Suricata's test mode on the candidate ("suricata -T -c <suricata_conf>
// --set threshold-file=<candidate>") under the rule-test time limit: fails
// with the whole output when it holds "E: " or the run exits with another
// status than 0. Reads "application.settings.suricata_conf"; its errors,
// and a run past its limit, are thrown.
std::pair<bool, std::string> testWithSuricata(const std::string& candidate);

enum class AddResult {
  kAdded,
  kExists,    // an enabled entry acts the same (sameEntry)
  kRejected,  // the candidate test failed; the message says why
};
struct AddOutcome {
  AddResult result = AddResult::kAdded;
  std::string message;
};

// Writes `entry` (without a problem, see problemOf) as a new last line of
// the file at `path`, on a line of its own: the whole new content goes to a
// candidate file beside it ("<path>.candidate.XXXXXX", removed afterwards),
// `test` judges it, and only a passed test replaces the file atomically.
// Runs under the file's edit lock (rules/RuleFiles.h), the test included.
// Throws RulesException "Unable to open threshold file" when the file
// cannot be opened, and std::runtime_error naming the file when the
// candidate or the replacement cannot be written.
AddOutcome addEntry(const std::string& path, const Entry& entry, const CandidateTest& test);

// Removes line `line` (1-based) of the file at `path` when it holds an entry
// and its whole text is `content`; every other byte of the file stays. False
// (and the file untouched) otherwise: someone changed the file since
// `content` was read. Under the file's edit lock; throws as addEntry does.
bool deleteEntry(const std::string& path, uint64_t line, const std::string& content);

}  // namespace threshold

#endif  // RULES_THRESHOLDFILE_H_
