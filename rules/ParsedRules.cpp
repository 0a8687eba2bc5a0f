// One pass over a rules file: the rule of each logical line that is one.
#include "rules/ParsedRules.h"

#include "rules/RuleLines.h"

ParsedRules::ParsedRules(file_cache::FileText text) : text_(std::move(text)) {
  // Reserved, not touched: only the pages written count against memory, and
  // the vector does not move while it grows.
  rules_.reserve(text_.size() / 64 + 1);
  RuleView rule;
  rule_lines::forEach(text_.view(), [&](const rule_lines::LogicalLine& line) {
    std::string_view logical = line.text;
    if (line.lines > 1) logical = joined_.emplace_back(line.text);
    if (readRule(logical, rule)) {
      rules_.push_back(rule);
    } else if (line.lines > 1) {
      joined_.pop_back();
    }
  });
}

std::shared_ptr<const ParsedRules::Indexes> ParsedRules::matching(
    const std::string& query, const std::function<bool(const RuleView&)>& match) const {
  {
    const std::lock_guard<std::mutex> lock(queriesMutex_);
    for (auto kept = queries_.begin(); kept != queries_.end(); ++kept) {
      if (kept->first != query) continue;
      queries_.splice(queries_.begin(), queries_, kept);
      return kept->second;
    }
  }
  // Worked out outside the lock; two requests asking at once both do it.
  auto indexes = std::make_shared<Indexes>();
  for (size_t i = 0; i < rules_.size(); ++i) {
    if (match(rules_[i])) indexes->push_back(static_cast<uint32_t>(i));
  }
  const std::lock_guard<std::mutex> lock(queriesMutex_);
  queries_.emplace_front(query, indexes);
  if (queries_.size() > kKeptQueries) queries_.pop_back();
  return indexes;
}
