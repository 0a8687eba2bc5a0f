// HTTP handlers of the rule queries: read the request, call the query, send
// one reply. Every error is 500 with a plain-text body.
#include "rules/Rules.h"

#include <functional>
#include <string>

#include "common/Configuration.h"
#include "common/Url.h"
#include "http/ReplyCompat.h"
#include "rules/RuleReplies.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

// A page query: rules file, path segment, page, page size.
using PagedQuery = std::function<std::vector<RuleItem>(const std::string&, const std::string&,
                                                        int, int)>;

enum class Segment { kAsIs, kUrlDecoded };

Json::Value toJsonArray(const std::vector<RuleItem>& rules) {
  Json::Value array(Json::arrayValue);
  for (const RuleItem& rule : rules) array.append(rule.toJson());
  return array;
}

// "page" or "page_size" with the standard int conversion (failure text "stoi").
int intQuery(const Request& request, const char* key, const char* fallback) {
  return std::stoi(reply::queryOr(request, key, fallback));
}

// A search page key: absent gives `fallback`, a value below 1 gives
// `belowOne`, a text that is not a number throws with `errorPrefix`.
int searchQuery(const Request& request, const char* key, int fallback, int belowOne,
                const char* errorPrefix) {
  const auto text = request.query().get(key);
  if (!text) return fallback;
  int value = 0;
  try {
    value = std::stoi(*text);
  } catch (const std::logic_error& e) {
    throw RulesException(errorPrefix + std::string(e.what()));
  }
  return value < 1 ? belowOne : value;
}

// The handlers of the filtered queries, which differ only in their segment
// and query: segment, page keys, configuration, query, reply.
void answerPagedQuery(const Request& request, ResponseWriter& response, const char* name,
                      Segment segment, const PagedQuery& query) {
  Rules::addCORSHeaders(response);
  try {
    std::string value = reply::pathParam(request, name);
    if (segment == Segment::kUrlDecoded) value = urlDecode(value);
    const int page = intQuery(request, "page", "1");
    const int pageSize = intQuery(request, "page_size", "10");
    const std::string rulesFile = config::readString(config::kRulesFile);
    reply::sendJson(response, toJsonArray(query(rulesFile, value, page, pageSize)));
  } catch (const std::exception& e) {
    rule_replies::sendError(response, e);
  }
}

}  // namespace

void Rules::addCORSHeaders(ResponseWriter& response) { cors::addRulesSet(response); }

void Rules::HandlegetRules(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::string rulesFile = config::readString(config::kRulesFile);
    const int page = intQuery(request, "page", "1");
    const int pageSize = intQuery(request, "page_size", "10");
    reply::sendJson(response, toJsonArray(getRules(rulesFile, page, pageSize)));
  } catch (const std::exception& e) {
    rule_replies::sendError(response, e);
  }
}

void Rules::HandlegetRuleBySid(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const uint32_t sid = request.param(":sid").as<uint32_t>();
    const Json::Value rule = getRuleBySid(config::readString(config::kRulesFile), sid);
    if (rule.isNull()) {
      reply::sendText(response, Code::Not_Found,
                      "Rule with SID " + std::to_string(sid) + " not found");
    } else {
      reply::sendJson(response, rule);
    }
  } catch (const std::exception& e) {
    rule_replies::sendError(response, e);
  }
}

void Rules::HandlegetRulesByAction(const Request& request, ResponseWriter response) {
  answerPagedQuery(request, response, ":action", Segment::kAsIs, &getRulesByAction);
}

void Rules::HandlegetRulesByStatus(const Request& request, ResponseWriter response) {
  answerPagedQuery(request, response, ":status", Segment::kAsIs,
                   [](const std::string& rulesFile, const std::string& status, int page,
                      int pageSize) {
                     return getRulesByStatus(rulesFile, status == "enabled", page, pageSize);
                   });
}

void Rules::HandlegetRulesByProtocol(const Request& request, ResponseWriter response) {
  answerPagedQuery(request, response, ":proto", Segment::kAsIs, &getRulesByProtocol);
}

void Rules::HandlegetDuplicatedRulesBySid(const Request& request, ResponseWriter response) {
  answerPagedQuery(request, response, ":sid", Segment::kAsIs, &getDuplicatedRulesBySid);
}

void Rules::HandlegetRulesBySignature(const Request& request, ResponseWriter response) {
  answerPagedQuery(request, response, ":signature", Segment::kUrlDecoded, &getRulesBySignature);
}

void Rules::search_rules(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    RuleSearch filter;
    filter.action = request.query().get("action");
    filter.protocol = request.query().get("protocol");
    filter.status = request.query().get("status");
    const int page = searchQuery(request, "page", 1, 1, "Invalid page parameters: ");
    const int pageSize = searchQuery(request, "page_size", 10, 10, "Invalid page size: ");
    const std::string rulesFile = config::readString(config::kRulesFile);
    reply::sendJson(response, toJsonArray(searchRules(rulesFile, filter, page, pageSize)));
  } catch (const std::exception& e) {
    rule_replies::sendError(response, e);
  }
}
