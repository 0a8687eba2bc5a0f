// The rules file and its queries: each cuts one page out of the matching
// rules of the file at the path given ("application.settings.rules_file" for
// the routes). The file's parse is kept in memory while its content is
// unchanged (common/FileCache.h), so a query sees every edit made before it
// arrived, by this server or anyone else. No HTTP.
#ifndef RULES_RULESFILE_H_
#define RULES_RULESFILE_H_

#include <json/value.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/FileCache.h"
#include "rules/RuleItem.h"
#include "rules/RulesException.h"

// Optional filters of the rule search; an absent one does not filter.
struct RuleSearch {
  std::optional<std::string> action;    // `action` equals it
  std::optional<std::string> protocol;  // `protocol` equals it
  std::optional<std::string> status;    // "enabled": enabled rules; any other text: disabled
};

namespace rules {

// Each logical line is read with the rule reader (rules/RuleReader.h) and
// lines that are not rules are passed over; matches keep file order and one
// page is cut out of them: positions (page-1)*page_size up to page*page_size,
// computed in 64 bits. With `total`, the number of matching rules before
// paging is stored there (the front end's X-Total-Count). The paged ones
// throw std::invalid_argument
// "Invalid pagination parameters" when page or page_size is below 1, and
// RulesException "Unable to open rules file".

// Every rule.
std::vector<RuleItem> getRules(const std::string& rulesFile, int page, int page_size,
                               uint64_t* total = nullptr);
// The rule object of the first rule with `sid`, or JSON null.
Json::Value getRuleBySid(const std::string& rulesFile, uint32_t sid);
// Filters.
std::vector<RuleItem> getRulesByAction(const std::string& rulesFile, const std::string& action,
                                       int page, int page_size, uint64_t* total = nullptr);
std::vector<RuleItem> getRulesByProtocol(const std::string& rulesFile, const std::string& protocol,
                                         int page, int page_size, uint64_t* total = nullptr);
std::vector<RuleItem> getRulesByStatus(const std::string& rulesFile, bool enabled, int page,
                                       int page_size, uint64_t* total = nullptr);
// `sid` read as an unsigned number with automatic base (0x hexadecimal,
// leading 0 octal) once a rule has been read; throws std::invalid_argument or
// std::out_of_range ("stoul") when it is not one.
std::vector<RuleItem> getDuplicatedRulesBySid(const std::string& rulesFile, const std::string& sid,
                                              int page, int page_size, uint64_t* total = nullptr);
// Rules whose `content` contains `signature`.
std::vector<RuleItem> getRulesBySignature(const std::string& rulesFile,
                                          const std::string& signature, int page, int page_size,
                                          uint64_t* total = nullptr);
// Rules matching every present filter; page and page_size must be at least 1.
std::vector<RuleItem> searchRules(const std::string& rulesFile, const RuleSearch& filter, int page,
                                  int page_size, uint64_t* total = nullptr);

// The `msg` (as rule objects give it, quotes kept) of the first rule in file
// order carrying each of `sids`, in one pass over the file's parse; a sid
// that no rule carries has no member. Lines that do not parse are passed
// over. Throws RulesException "Unable to open rules file".
std::map<uint32_t, std::string> messagesOfSids(const std::string& rulesFile,
                                               const std::set<uint32_t>& sids);

// Hits and rebuilds of the rules file's parse, for a metrics reader.
const file_cache::CacheStatistics& rulesCacheStatistics();

}  // namespace rules

#endif  // RULES_RULESFILE_H_
