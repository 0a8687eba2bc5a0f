// The rules file read in one pass: a RuleView per logical line that is a
// rule (rules/RuleReader.h, rules/RuleLines.h), as views into the file's
// bytes, which it keeps, or into the joined text of a continued rule.
// Shared read-only by queries.
#ifndef RULES_PARSEDRULES_H_
#define RULES_PARSEDRULES_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/FileCache.h"
#include "rules/RuleItem.h"
#include "rules/RuleReader.h"

class ParsedRules {
 public:
  // Reads every logical line of `text`; lines that are not rules are passed
  // over. Never throws for content.
  explicit ParsedRules(file_cache::FileText text);
  ParsedRules(const ParsedRules&) = delete;
  ParsedRules& operator=(const ParsedRules&) = delete;

  // The text parsed.
  std::string_view source() const { return text_.view(); }
  // Every rule, in file order.
  const std::vector<RuleView>& rules() const { return rules_; }

  // The indexes, in file order, of the rules that `match` accepts. Worked out once per `query` (a
  // text naming the filter and its value) and kept with this parse, which never changes: paging
  // through one filter asks the same again. The last kKeptQueries queries
  // are kept. Exceptions from `match` pass through, and nothing is kept.
  using Indexes = std::vector<uint32_t>;
  std::shared_ptr<const Indexes> matching(const std::string& query,
                                          const std::function<bool(const RuleView&)>& match) const;
  static constexpr size_t kKeptQueries = 8;

 private:
  const file_cache::FileText text_;  // the views point into it
  std::deque<std::string> joined_;   // continued rules' texts; elements never move
  std::vector<RuleView> rules_;

  mutable std::mutex queriesMutex_;
  // Most recently asked first.
  mutable std::list<std::pair<std::string, std::shared_ptr<const Indexes>>> queries_;
};

#endif  // RULES_PARSEDRULES_H_
