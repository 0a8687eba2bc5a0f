// The rules file parsed in one pass: a RuleView per line that parses, as
// views into the file's bytes, which it keeps. Shared read-only by queries.
#ifndef RULES_PARSEDRULES_H_
#define RULES_PARSEDRULES_H_

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "common/FileCache.h"
#include "rules/RuleItem.h"

// RuleItem's fields as views into one line (fallback texts are static).
struct RuleView {
  std::string_view content;
  std::string_view action;
  std::string_view protocol;
  std::string_view classtype;
  std::string_view msg;
  uint32_t sid = 0;
  uint32_t rev = 0;
  bool enabled = false;

  RuleItem toItem() const;
};

// Why a line does not parse, as RuleItem::parse reports it.
enum class LineError {
  kNone,
  kNotANumber,  // no numeric sid or rev: std::invalid_argument "stoi"
  kOutOfRange,  // sid or rev above 2147483647: std::out_of_range "stoi"
};

// Cuts `line` (without its newline) once into both token views and fills
// `rule` as RuleItem::parse does. Views point into `line`.
LineError parseRuleLine(std::string_view line, RuleView& rule);

// Throws the exception RuleItem::parse throws for `error` (not kNone).
[[noreturn]] void throwLineError(LineError error);

class ParsedRules {
 public:
  // Parses every line of `text` (lines end at a newline; a last line without
  // one counts). Never throws for content.
  explicit ParsedRules(file_cache::FileText text);
  ParsedRules(const ParsedRules&) = delete;
  ParsedRules& operator=(const ParsedRules&) = delete;

  // The text parsed.
  std::string_view source() const { return text_.view(); }
  // Every line that parses, in file order.
  const std::vector<RuleView>& rules() const { return rules_; }
  // 1-based number of the first line that does not parse, 0 when all do.
  uint64_t firstBadLine() const { return firstBadLine_; }
  LineError firstBadError() const { return firstBadError_; }
  // How many rules precede that line (all of them when there is none).
  size_t rulesBeforeBadLine() const { return rulesBeforeBadLine_; }

  // The indexes, in file order, of the rules before the first bad line that
  // `match` accepts. Worked out once per `query` (a text naming the filter
  // and its value) and kept with this parse, which never changes: paging
  // through one filter asks the same again. The last kKeptQueries queries
  // are kept. Exceptions from `match` pass through, and nothing is kept.
  using Indexes = std::vector<uint32_t>;
  std::shared_ptr<const Indexes> matching(const std::string& query,
                                          const std::function<bool(const RuleView&)>& match) const;
  static constexpr size_t kKeptQueries = 8;

 private:
  const file_cache::FileText text_;  // the views point into it
  std::vector<RuleView> rules_;
  uint64_t firstBadLine_ = 0;
  LineError firstBadError_ = LineError::kNone;
  size_t rulesBeforeBadLine_ = 0;

  mutable std::mutex queriesMutex_;
  // Most recently asked first.
  mutable std::list<std::pair<std::string, std::shared_ptr<const Indexes>>> queries_;
};

#endif  // RULES_PARSEDRULES_H_
