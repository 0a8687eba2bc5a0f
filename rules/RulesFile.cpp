// Rule queries: each reads and parses the whole rules file and cuts one page
// out of the matching rules.
#include "rules/RulesFile.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace {

// What a line that does not parse does to a query.
enum class OnBadLine {
  kFailWithLineNumber,  // the plain listing names the line
  kFail,                // the filters pass the parse error on as it is
};

void checkPage(int page, int page_size) {
  if (page < 1 || page_size < 1) throw std::invalid_argument("Invalid pagination parameters");
}

// Reads every line of `rulesFile`, parses it, and keeps the rules that
// `match` accepts and that fall on the page. Every line is parsed even past
// the page, so a bad line anywhere fails the query.
template <typename Match>
std::vector<RuleItem> collectPage(const std::string& rulesFile, int page, int page_size,
                                  OnBadLine onBadLine, Match match) {
  std::ifstream in(rulesFile);
  if (!in.is_open()) throw RulesException("Unable to open rules file");
  // page and page_size are at least 1: 64 bits hold any product of two ints.
  const int64_t first = (static_cast<int64_t>(page) - 1) * page_size;
  const int64_t last = first + page_size;  // exclusive
  int64_t matches = 0;
  uint64_t lineNumber = 0;
  std::vector<RuleItem> result;
  std::string line;
  while (std::getline(in, line)) {
    ++lineNumber;
    RuleItem item;
    try {
      item = RuleItem::parse(line);
    } catch (const std::logic_error& e) {
      if (onBadLine == OnBadLine::kFail) throw;
      throw RulesException("Unable to parse line " + std::to_string(lineNumber) + ": " +
                           e.what());
    }
    if (!match(item)) continue;
    if (matches >= first && matches < last) result.push_back(std::move(item));
    ++matches;
  }
  if (in.bad()) throw RulesException("Unable to read rules file");
  return result;
}

template <typename Match>
std::vector<RuleItem> filteredPage(const std::string& rulesFile, int page, int page_size,
                                   Match match) {
  checkPage(page, page_size);
  return collectPage(rulesFile, page, page_size, OnBadLine::kFail, match);
}

}  // namespace

namespace rules {

std::vector<RuleItem> getRules(const std::string& rulesFile, int page, int page_size) {
  checkPage(page, page_size);
  return collectPage(rulesFile, page, page_size, OnBadLine::kFailWithLineNumber,
                     [](const RuleItem&) { return true; });
}

Json::Value getRuleBySid(const std::string& rulesFile, uint32_t sid) {
  std::ifstream in(rulesFile);
  if (!in.is_open()) throw RulesException("Unable to open rules file");
  std::string line;
  while (std::getline(in, line)) {
    try {
      const RuleItem item = RuleItem::parse(line);
      if (item.sid == sid) return item.toJson();
    } catch (const std::logic_error&) {
      // Blank lines and comments carry no rule; the lookup passes over them.
    }
  }
  return Json::Value();
}

std::vector<RuleItem> getRulesByAction(const std::string& rulesFile,
                                              const std::string& action, int page,
                                              int page_size) {
  return filteredPage(rulesFile, page, page_size,
                      [&](const RuleItem& item) { return item.action == action; });
}

std::vector<RuleItem> getRulesByProtocol(const std::string& rulesFile,
                                                const std::string& protocol, int page,
                                                int page_size) {
  return filteredPage(rulesFile, page, page_size,
                      [&](const RuleItem& item) { return item.protocol == protocol; });
}

std::vector<RuleItem> getRulesByStatus(const std::string& rulesFile, bool enabled,
                                              int page, int page_size) {
  return filteredPage(rulesFile, page, page_size,
                      [&](const RuleItem& item) { return item.enabled == enabled; });
}

std::vector<RuleItem> getDuplicatedRulesBySid(const std::string& rulesFile,
                                                     const std::string& sid, int page,
                                                     int page_size) {
  // Converted at the first parsed line, so a text that is not a number only
  // fails when the file holds a rule.
  std::optional<unsigned long> wanted;
  return filteredPage(rulesFile, page, page_size, [&](const RuleItem& item) {
    if (!wanted) wanted = std::stoul(sid, nullptr, 0);
    return static_cast<unsigned long>(item.sid) == *wanted;
  });
}

std::vector<RuleItem> getRulesBySignature(const std::string& rulesFile,
                                                 const std::string& signature, int page,
                                                 int page_size) {
  return filteredPage(rulesFile, page, page_size, [&](const RuleItem& item) {
    return item.content.find(signature) != std::string::npos;
  });
}

std::vector<RuleItem> searchRules(const std::string& rulesFile, const RuleSearch& filter,
                                         int page, int page_size) {
  return filteredPage(rulesFile, page, page_size, [&](const RuleItem& item) {
    return (!filter.action || item.action == *filter.action) &&
           (!filter.protocol || item.protocol == *filter.protocol) &&
           (!filter.status || item.enabled == (*filter.status == "enabled"));
  });
}

}  // namespace rules
