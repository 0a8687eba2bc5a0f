// Rule queries: each cuts one page out of the matching rules of the rules
// file's parse, which is kept while the file is unchanged.
#include "rules/RulesFile.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/FileCache.h"
#include "rules/ParsedRules.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The parse of the configured rules file, reused while the file is unchanged.
file_cache::FileCache<ParsedRules>& cache() {
  static file_cache::FileCache<ParsedRules> rules;
  return rules;
}

std::shared_ptr<const ParsedRules> load(const std::string& rulesFile) {
  try {
    return cache().get(rulesFile);
  } catch (const file_cache::OpenError&) {
    throw RulesException("Unable to open rules file");
  } catch (const file_cache::ReadError&) {
    throw RulesException("Unable to read rules file");
  }
}

// True when `needle` occurs in `text`, as memmem finds it. Compares the
// needle's first and last bytes at 16 places at once and the whole needle
// only where both match.
bool contains(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > text.size()) return false;
  const size_t n = needle.size();
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  for (; at + n - 1 + 16 <= text.size(); at += 16) {
    const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    const __m128i ends =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at + n - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
    for (; mask != 0; mask &= mask - 1) {
      if (std::memcmp(text.data() + at + static_cast<size_t>(__builtin_ctz(mask)), needle.data(),
                      n) == 0) {
        return true;
      }
    }
  }
#endif
  for (; at + n <= text.size(); ++at) {
    if (text[at] == needle.front() && std::memcmp(text.data() + at, needle.data(), n) == 0)
      return true;
  }
  return false;
}

void checkPage(int page, int page_size) {
  if (page < 1 || page_size < 1) throw std::invalid_argument("Invalid pagination parameters");
}

// The rules that `match` accepts and that fall on the page, in file order:
// positions (page-1)*page_size up to page*page_size. With `total`, the
// number of matching rules is stored there. The matches of `query` are kept
// with the parse, so the next page of the same filter costs only its own
// rules.
template <typename Match>
std::vector<RuleItem> filteredPage(const std::string& rulesFile, int page, int page_size,
                                   uint64_t* total, const std::string& query, Match match) {
  checkPage(page, page_size);
  const std::shared_ptr<const ParsedRules> parsed = load(rulesFile);
  const std::shared_ptr<const ParsedRules::Indexes> matches = parsed->matching(query, match);
  // page and page_size are at least 1: 64 bits hold any product of two ints.
  const uint64_t first = (static_cast<uint64_t>(page) - 1) * static_cast<uint64_t>(page_size);
  const uint64_t last =
      std::min<uint64_t>(first + static_cast<uint64_t>(page_size), matches->size());
  const std::vector<RuleView>& rules = parsed->rules();
  std::vector<RuleItem> result;
  for (uint64_t i = first; i < last; ++i) result.push_back(RuleItem::from(rules[(*matches)[i]]));
  if (total != nullptr) *total = matches->size();
  return result;
}

// The name of a query, for the parse's kept matches: the filter and its
// values, each after its length, so that no two queries share a name.
std::string queryName(std::initializer_list<std::string_view> parts) {
  std::string name;
  for (const std::string_view part : parts) {
    name += std::to_string(part.size());
    name += ':';
    name.append(part);
  }
  return name;
}

// An optional value of a query's name: absent, or present with its text.
std::string optionalPart(const std::optional<std::string>& value) {
  return value ? "=" + *value : "-";
}

}  // namespace

namespace rules {

std::vector<RuleItem> getRules(const std::string& rulesFile, int page, int page_size,
                               uint64_t* total) {
  checkPage(page, page_size);
  const std::shared_ptr<const ParsedRules> parsed = load(rulesFile);
  const std::vector<RuleView>& rules = parsed->rules();
  const uint64_t first = (static_cast<uint64_t>(page) - 1) * static_cast<uint64_t>(page_size);
  const uint64_t last = std::min<uint64_t>(first + static_cast<uint64_t>(page_size), rules.size());
  std::vector<RuleItem> result;
  for (uint64_t i = first; i < last; ++i) result.push_back(RuleItem::from(rules[i]));
  if (total != nullptr) *total = rules.size();
  return result;
}

Json::Value getRuleBySid(const std::string& rulesFile, uint32_t sid) {
  const std::shared_ptr<const ParsedRules> parsed = load(rulesFile);
  for (const RuleView& rule : parsed->rules()) {
    if (rule.sid == sid) return RuleItem::from(rule).toJson();
  }
  return Json::Value();
}

std::map<uint32_t, std::string> messagesOfSids(const std::string& rulesFile,
                                               const std::set<uint32_t>& sids) {
  std::map<uint32_t, std::string> messages;
  if (sids.empty()) return messages;
  const std::shared_ptr<const ParsedRules> parsed = load(rulesFile);
  for (const RuleView& rule : parsed->rules()) {
    if (sids.count(rule.sid) != 0) messages.emplace(rule.sid, std::string(rule.msg));
  }
  return messages;
}

std::vector<RuleItem> getRulesByAction(const std::string& rulesFile, const std::string& action,
                                       int page, int page_size, uint64_t* total) {
  return filteredPage(rulesFile, page, page_size, total, queryName({"action", action}),
                      [&](const RuleView& item) { return item.action == action; });
}

std::vector<RuleItem> getRulesByProtocol(const std::string& rulesFile, const std::string& protocol,
                                         int page, int page_size, uint64_t* total) {
  return filteredPage(rulesFile, page, page_size, total, queryName({"protocol", protocol}),
                      [&](const RuleView& item) { return item.protocol == protocol; });
}

std::vector<RuleItem> getRulesByStatus(const std::string& rulesFile, bool enabled, int page,
                                       int page_size, uint64_t* total) {
  return filteredPage(rulesFile, page, page_size, total,
                      queryName({"status", enabled ? "enabled" : "disabled"}),
                      [&](const RuleView& item) { return item.enabled == enabled; });
}

std::vector<RuleItem> getDuplicatedRulesBySid(const std::string& rulesFile, const std::string& sid,
                                              int page, int page_size, uint64_t* total) {
  // Converted at the first rule, so a text that is not a number only fails
  // when the file holds a rule.
  std::optional<unsigned long> wanted;
  return filteredPage(rulesFile, page, page_size, total, queryName({"sid", sid}),
                      [&](const RuleView& item) {
                        if (!wanted) wanted = std::stoul(sid, nullptr, 0);
                        return static_cast<unsigned long>(item.sid) == *wanted;
                      });
}

std::vector<RuleItem> getRulesBySignature(const std::string& rulesFile,
                                          const std::string& signature, int page, int page_size,
                                          uint64_t* total) {
  return filteredPage(rulesFile, page, page_size, total, queryName({"signature", signature}),
                      [&](const RuleView& item) { return contains(item.content, signature); });
}

std::vector<RuleItem> searchRules(const std::string& rulesFile, const RuleSearch& filter, int page,
                                  int page_size, uint64_t* total) {
  const std::string query = queryName({"search", optionalPart(filter.action),
                                       optionalPart(filter.protocol), optionalPart(filter.status)});
  return filteredPage(rulesFile, page, page_size, total, query, [&](const RuleView& item) {
    return (!filter.action || item.action == *filter.action) &&
           (!filter.protocol || item.protocol == *filter.protocol) &&
           (!filter.status || item.enabled == (*filter.status == "enabled"));
  });
}

const file_cache::CacheStatistics& rulesCacheStatistics() { return cache().statistics(); }

}  // namespace rules
