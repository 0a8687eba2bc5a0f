// HTTP handlers of the rule queries: read the request, call the query,
// return one reply. Every error is 500 with a plain-text body.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Configuration.h"
#include "common/Url.h"
#include "http/Frame.h"
#include "http/Request.h"
#include "rules/RuleReplies.h"
#include "rules/Rules.h"
#include "rules/RulesFile.h"

using http::Request;
using http::Status;

namespace {

// Every query is served from the rules file's kept parse on the HTTP thread;
// the first after a change reads and parses the file there.
constexpr http::Frame kQuery{http::Cors::kRules, &rule_replies::queryError};

// A page of rules as a JSON array, with the number of matches before paging
// in X-Total-Count.
// The page that `query` returns when given where to store the number of
// matches, as a JSON array with that number in X-Total-Count.
template <typename Query>
http::Reply rulesPage(const Query& query) {
  uint64_t total = 0;
  const std::vector<RuleItem> rules = query(&total);
  Json::Value array(Json::arrayValue);
  for (const RuleItem& rule : rules) array.append(rule.toJson());
  return http::withTotalCount(http::json(array), total);
}

std::string rulesFile() { return config::readString(config::kRulesFile); }

struct Page {
  int number;
  int size;
};

// "page" (default "1") and "page_size" (default "10") with the standard int
// conversion (failure text "stoi").
Page pageOf(const Request& request) {
  const int number = std::stoi(http::queryOr(request, "page", "1"));
  return {number, std::stoi(http::queryOr(request, "page_size", "10"))};
}

// A search page key: absent gives `fallback`, a value below 1 gives
// `belowOne`, a text that is not a number throws with `errorPrefix`.
int searchQuery(const Request& request, const char* key, int fallback, int belowOne,
                const char* errorPrefix) {
  const std::optional<std::string> text = http::query(request, key);
  if (!text) return fallback;
  int value = 0;
  try {
    value = std::stoi(*text);
  } catch (const std::logic_error& e) {
    throw RulesException(errorPrefix + std::string(e.what()));
  }
  return value < 1 ? belowOne : value;
}

}  // namespace

http::Handler Rules::HandlegetRules() {
  return {kQuery, [](const Request& r) {
            const std::string file = rulesFile();
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getRules(file, page.number, page.size, total);
            });
          }};
}

http::Handler Rules::HandlegetRuleBySid() {
  return {kQuery, [](const Request& r) {
            const uint32_t sid = http::segmentAs<uint32_t>(r, ":sid");
            const Json::Value rule = rules::getRuleBySid(rulesFile(), sid);
            if (rule.isNull()) {
              throw http::Refusal(Status::kNotFound,
                                  "Rule with SID " + std::to_string(sid) + " not found");
            }
            return http::json(rule);
          }};
}

http::Handler Rules::HandlegetRulesByAction() {
  return {kQuery, [](const Request& r) {
            const std::string action = http::pathParam(r, ":action");
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getRulesByAction(rulesFile(), action, page.number, page.size, total);
            });
          }};
}

http::Handler Rules::HandlegetRulesByStatus() {
  return {kQuery, [](const Request& r) {
            const bool enabled = http::pathParam(r, ":status") == "enabled";
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getRulesByStatus(rulesFile(), enabled, page.number, page.size, total);
            });
          }};
}

http::Handler Rules::HandlegetRulesByProtocol() {
  return {kQuery, [](const Request& r) {
            const std::string protocol = http::pathParam(r, ":proto");
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getRulesByProtocol(rulesFile(), protocol, page.number, page.size,
                                               total);
            });
          }};
}

http::Handler Rules::HandlegetDuplicatedRulesBySid() {
  return {kQuery, [](const Request& r) {
            const std::string sid = http::pathParam(r, ":sid");
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getDuplicatedRulesBySid(rulesFile(), sid, page.number, page.size,
                                                    total);
            });
          }};
}

http::Handler Rules::HandlegetRulesBySignature() {
  return {kQuery, [](const Request& r) {
            const std::string signature = urlDecode(http::pathParam(r, ":signature"));
            const Page page = pageOf(r);
            return rulesPage([&](uint64_t* total) {
              return rules::getRulesBySignature(rulesFile(), signature, page.number, page.size,
                                                total);
            });
          }};
}

http::Handler Rules::search_rules() {
  return {kQuery, [](const Request& r) {
            RuleSearch filter;
            filter.action = http::query(r, "action");
            filter.protocol = http::query(r, "protocol");
            filter.status = http::query(r, "status");
            const int page = searchQuery(r, "page", 1, 1, "Invalid page parameters: ");
            const int pageSize = searchQuery(r, "page_size", 10, 10, "Invalid page size: ");
            return rulesPage([&](uint64_t* total) {
              return rules::searchRules(rulesFile(), filter, page, pageSize, total);
            });
          }};
}
