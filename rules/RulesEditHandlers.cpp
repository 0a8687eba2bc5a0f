// HTTP handlers of the rule edits, the validation and the additional rule
// categories: read the JSON body, call the operation, return one reply.
#include <json/value.h>

#include <optional>
#include <string>
#include <utility>

#include "common/Configuration.h"
#include "common/EventJson.h"
#include "common/JsonBody.h"
#include "http/Frame.h"
#include "rules/AdditionalRules.h"
#include "rules/RuleEdits.h"
#include "rules/RuleItem.h"
#include "rules/RuleReader.h"
#include "rules/RuleReplies.h"
#include "rules/RuleText.h"
#include "rules/Rules.h"

using http::Request;
using http::Status;

namespace {

constexpr char kInvalidJson[] = "Invalid JSON";
constexpr char kMissingRule[] = "Missing rule content";
constexpr char kMultiLineRule[] = "Rule content must be a single line";
constexpr char kUnreadableRule[] = "Rule must have a numeric sid and rev";
constexpr char kSidInUse[] = "SID already in use";
constexpr char kFragment[] =
    "Rule text is a part of a rule written over several lines: send the whole rule";

std::string rulesFile() { return config::readString(config::kRulesFile); }

// The body as one JSON document; 400 "Invalid JSON" when it is not.
Json::Value bodyOf(const Request& request) {
  std::optional<Json::Value> body = json_body::read(request.body);
  if (!body) throw http::Refusal(Status::kBadRequest, kInvalidJson);
  return *std::move(body);
}

// The text of member `key` ("" when missing, or when `object` is not an
// object); the JSON library's error for an array or object.
std::string memberText(const Json::Value& object, const char* key) {
  return event_json::member(object, key).asString();
}

// A rule text that is empty, or only white space behind an optional "#",
// names no rule: the edits would match every blank or commented line.
bool namesNoRule(const std::string& rule) { return rules::withoutComment(rule).empty(); }

// Why a rule text cannot name or become a line of the rules file, or
// nullptr. A text holding a line break would add lines of its own (a blank
// one fails every listing, and no edit can name it to remove it again) or,
// as the old text of an update, merge two lines into one.
const char* refusalOfRuleText(const std::string& rule) {
  if (namesNoRule(rule)) return kMissingRule;
  if (rule.find_first_of("\r\n") != std::string::npos) return kMultiLineRule;
  return nullptr;
}

// The body's "content" for toggle and delete; 400 for a body that is not
// JSON or a text that names no rule.
std::string ruleTextOf(const Request& request) {
  std::string rule = memberText(bodyOf(request), "content");
  if (namesNoRule(rule)) throw http::Refusal(Status::kBadRequest, kMissingRule);
  return rule;
}

// The five category flags of the additional rules; a missing member reads
// as null, so false. 400 "Invalid JSON" for a body that is not one object:
// any other document would read as "every category off".
RuleUpdateData categoryFlagsOf(const Request& request) {
  const std::optional<Json::Value> flags = json_body::readObject(request.body);
  if (!flags) throw http::Refusal(Status::kBadRequest, kInvalidJson);
  RuleUpdateData data;
  data.universal = (*flags)["universal"].asBool();
  data.fakenews = (*flags)["fakenews"].asBool();
  data.porno = (*flags)["porno"].asBool();
  data.gambling = (*flags)["gambling"].asBool();
  data.social = (*flags)["social"].asBool();
  return data;
}

// ---- Audit subjects ---------------------------------------------------------------

// Characters of a rule text that its audit line keeps.
constexpr size_t kAuditedRuleBytes = 80;

// "sid=<sid> <name>=\"<first characters>\"" of a rule text; no sid when it is no rule.
std::string ruleSubject(const char* name, const std::string& rule) {
  uint32_t sid = 0;
  return (sidOfRule(rule, sid) ? "sid=" + std::to_string(sid) + " " : "") + name + "=" +
         http::audit::quoted(rule, kAuditedRuleBytes);
}

// The body's member "content": toggle, add, delete and validation.
std::string contentSubject(const Request& request) {
  const std::optional<Json::Value> body = json_body::read(request.body);
  if (!body) return "rule=?";
  return ruleSubject("rule", memberText(*body, "content"));
}

std::string updateSubject(const Request& request) {
  const std::optional<Json::Value> body = json_body::read(request.body);
  if (!body) return "rule=?";
  return ruleSubject("rule", memberText(event_json::member(*body, "rule"), "content")) + " " +
         ruleSubject("new_rule", memberText(event_json::member(*body, "new_rule"), "content"));
}

std::string categoriesSubject(const Request& request) {
  return "categories=" + http::audit::quoted(request.body, kAuditedRuleBytes);
}

constexpr http::Cors kCors = http::Cors::kRules;
// Edits and the additional rules run on the HTTP thread, the toggle mapping
// errors as the queries do; the add and the validation wait on the test run,
// so they go to the slow pool. Every route here but the status changes state.
constexpr http::Frame kToggle{kCors, &rule_replies::queryError, &contentSubject};
constexpr http::Frame kDelete{kCors, &http::errorText, &contentSubject};
constexpr http::Frame kUpdate{kCors, &http::errorText, &updateSubject};
constexpr http::Frame kCategories{kCors, &http::errorText, &categoriesSubject};
constexpr http::Frame kStatus{kCors};
constexpr http::Frame kAdd{kCors, &http::errorText, &contentSubject};
constexpr http::Frame kValidate{kCors, &rule_replies::outcomeError, &contentSubject};

}  // namespace

http::Handler Rules::toggle_rule() {
  return {kToggle, [](const Request& r) {
            const std::string rule = ruleTextOf(r);
            if (rules::toggleRule(rulesFile(), rule) == rules::EditResult::kFragment) {
              throw http::Refusal(Status::kConflict, kFragment);
            }
            return http::text("Rule status toggled successfully");
          }};
}

http::Handler Rules::add_rule() {
  return {kAdd, [](const Request& r) {
            const std::string rule = memberText(bodyOf(r), "content");
            const char* refusal = refusalOfRuleText(rule);
            if (!refusal && !RuleItem::readable(rule)) refusal = kUnreadableRule;
            if (refusal) return rule_replies::outcome(Status::kBadRequest, false, refusal);
            const auto [valid, message] = rules::validate_rule(rule);
            if (!valid) return rule_replies::outcome(Status::kBadRequest, false, message);
            switch (rules::addRule(rulesFile(), rule)) {
              case rules::AddResult::kSidInUse: throw http::Refusal(Status::kConflict, kSidInUse);
              case rules::AddResult::kAlreadyExists:
                throw http::Refusal(Status::kConflict, "Rule already exists");
              case rules::AddResult::kAdded: break;
            }
            return http::text("Rule added successfully");
          }};
}

http::Handler Rules::handleValidateRuleRequest() {
  return {kValidate, [](const Request& r) {
            const std::optional<Json::Value> body = json_body::read(r.body);
            if (!body) return rule_replies::outcome(Status::kBadRequest, false, kInvalidJson);
            const std::string rule = memberText(*body, "content");
            if (namesNoRule(rule))
              return rule_replies::outcome(Status::kBadRequest, false, kMissingRule);
            const auto [valid, message] = rules::validate_rule(rule);
            return rule_replies::outcome(valid ? Status::kOk : Status::kBadRequest, valid, message);
          }};
}

http::Handler Rules::handleDeleteRuleRequest() {
  return {kDelete, [](const Request& r) {
            const std::string rule = ruleTextOf(r);
            switch (rules::deleteRule(rulesFile(), rule)) {
              case rules::EditResult::kNoMatch:
                throw http::Refusal(Status::kNotFound, "Rule not found");
              case rules::EditResult::kFragment: throw http::Refusal(Status::kConflict, kFragment);
              case rules::EditResult::kChanged: break;
            }
            return http::text("Rule deleted successfully");
          }};
}

http::Handler Rules::handleUpdateRuleRequest() {
  return {kUpdate, [](const Request& r) {
            const Json::Value body = bodyOf(r);
            // Contents listed from a file with CRLF line ends end with their CR.
            const std::string oldRule(
                rules::withoutLineEnd(memberText(event_json::member(body, "rule"), "content")));
            const std::string newRule(
                rules::withoutLineEnd(memberText(event_json::member(body, "new_rule"), "content")));
            const char* refusal = refusalOfRuleText(oldRule);
            if (!refusal) refusal = refusalOfRuleText(newRule);
            if (refusal) throw http::Refusal(Status::kBadRequest, refusal);
            switch (rules::updateRule(rulesFile(), oldRule, newRule)) {
              case rules::UpdateResult::kNotFound:
                throw http::Refusal(Status::kNotFound, "Old rule not found");
              case rules::UpdateResult::kUnreadable:
                throw http::Refusal(Status::kBadRequest, kUnreadableRule);
              case rules::UpdateResult::kSidInUse:
                throw http::Refusal(Status::kConflict, kSidInUse);
              case rules::UpdateResult::kFragment:
                throw http::Refusal(Status::kConflict, kFragment);
              case rules::UpdateResult::kUpdated: break;
            }
            return http::text("Rule updated successfully");
          }};
}

http::Handler Rules::handleGetAdditionalRulesStatus() {
  return {kStatus, [](const Request&) { return http::text(rules::getAdditionalRuleStatus()); }};
}

http::Handler Rules::handleUpdateAdditionalRulesFile() {
  return {kCategories, [](const Request& r) {
            if (!rules::updateAdditionalRulesFile(categoryFlagsOf(r))) {
              return http::error("Error updating rules");
            }
            return http::text("Rules successfully updated");
          }};
}
