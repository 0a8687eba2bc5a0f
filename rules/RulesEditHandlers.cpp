// HTTP handlers of the rule edits, the validation and the additional rule
// categories: parse the JSON body, call the operation, send one reply.
#include "rules/Rules.h"

#include <memory>

#include <json/reader.h>

#include "common/Configuration.h"
#include "common/EventJson.h"
#include "common/JsonBody.h"
#include "common/JsonText.h"
#include "http/ReplyCompat.h"
#include "rules/RuleFunctions.h"
#include "rules/RuleReplies.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

constexpr char kInvalidJson[] = "Invalid JSON";
constexpr char kMissingRule[] = "Missing rule content";
constexpr char kMultiLineRule[] = "Rule content must be a single line";
constexpr char kUnreadableRule[] = "Rule must have a numeric sid and rev";
constexpr char kSidInUse[] = "SID already in use";

// Parses a request body; false when it is not JSON (nesting too deep for the
// reader included).
bool parseBody(const std::string& body, Json::Value& parsed) {
  static const Json::CharReaderBuilder kBuilder;
  const std::unique_ptr<Json::CharReader> reader(kBuilder.newCharReader());
  try {
    return reader->parse(body.data(), body.data() + body.size(), &parsed, nullptr);
  } catch (const Json::Exception&) {
    return false;
  }
}

// Parses the body into `body`, or answers 400 "Invalid JSON" and returns false.
bool parseBodyOrReply(const Request& request, ResponseWriter& response, Json::Value& body) {
  if (parseBody(request.body(), body)) return true;
  reply::sendText(response, Code::Bad_Request, kInvalidJson);
  return false;
}

// The text of member `key` ("" when missing, or when `object` is not an
// object); the JSON library's error for an array or object.
std::string memberText(const Json::Value& object, const char* key) {
  return event_json::member(object, key).asString();
}

// A rule text that is empty, or only white space behind an optional "#",
// names no rule: the edits would match every blank or commented line.
bool namesNoRule(const std::string& rule) {
  return RuleFunctions::removeComment(rule).empty();
}

// Why a rule text cannot name or become a line of the rules file, or
// nullptr. A text holding a line break would add lines of its own (a blank
// one fails every listing, and no edit can name it to remove it again) or,
// as the old text of an update, merge two lines into one.
const char* refusalOfRuleText(const std::string& rule) {
  if (namesNoRule(rule)) return kMissingRule;
  if (rule.find_first_of("\r\n") != std::string::npos) return kMultiLineRule;
  return nullptr;
}

// The validation object {"error", "success"} as styled JSON text.
void sendValidation(ResponseWriter& response, Code code, bool success,
                    const std::string& error) {
  Json::Value outcome(Json::objectValue);
  outcome["success"] = success;
  outcome["error"] = error;
  reply::sendText(response, code, outcome.toStyledString());
}

// The body's "content" for toggle and delete; nothing after answering 400
// for a body that is not JSON or a text that names no rule.
std::optional<std::string> ruleTextOrReply(const Request& request, ResponseWriter& response) {
  Json::Value body;
  if (!parseBodyOrReply(request, response, body)) return std::nullopt;
  std::string rule = memberText(body, "content");
  if (namesNoRule(rule)) {
    reply::sendText(response, Code::Bad_Request, kMissingRule);
    return std::nullopt;
  }
  return rule;
}

// 200 with `done` when the edit found its rule, otherwise 404 with `missing`.
void sendEditOutcome(ResponseWriter& response, bool found, const char* done,
                     const char* missing) {
  reply::sendText(response, found ? Code::Ok : Code::Not_Found, found ? done : missing);
}

}  // namespace

void Rules::toggle_rule(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::optional<std::string> rule = ruleTextOrReply(request, response);
    if (!rule) return;
    toggleRule(config::readString(config::kRulesFile), *rule);
    reply::sendText(response, Code::Ok, "Rule status toggled successfully");
  } catch (const std::exception& e) {
    rule_replies::sendError(response, e);
  }
}

void Rules::add_rule(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    Json::Value body;
    if (!parseBodyOrReply(request, response, body)) return;
    const std::string rule = memberText(body, "content");
    const char* refusal = refusalOfRuleText(rule);
    if (!refusal && !RuleItem::readable(rule)) refusal = kUnreadableRule;
    if (refusal) return sendValidation(response, Code::Bad_Request, false, refusal);
    const auto [valid, message] = validate_rule(rule);
    if (!valid) return sendValidation(response, Code::Bad_Request, false, message);
    switch (addRule(config::readString(config::kRulesFile), rule)) {
      case AddResult::kSidInUse:
        return reply::sendText(response, Code::Conflict, kSidInUse);
      case AddResult::kAlreadyExists:
        return reply::sendText(response, Code::Conflict, "Rule already exists");
      case AddResult::kAdded:
        return reply::sendText(response, Code::Ok, "Rule added successfully");
    }
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Rules::handleValidateRuleRequest(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    Json::Value body;
    if (!parseBody(request.body(), body)) {
      return sendValidation(response, Code::Bad_Request, false, kInvalidJson);
    }
    const std::string rule = memberText(body, "content");
    if (namesNoRule(rule)) return sendValidation(response, Code::Bad_Request, false, kMissingRule);
    const auto [valid, message] = validate_rule(rule);
    sendValidation(response, valid ? Code::Ok : Code::Bad_Request, valid, message);
  } catch (const std::exception& e) {
    sendValidation(response, Code::Internal_Server_Error, false, e.what());
  }
}

void Rules::handleDeleteRuleRequest(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::optional<std::string> rule = ruleTextOrReply(request, response);
    if (!rule) return;
    sendEditOutcome(response, deleteRule(config::readString(config::kRulesFile), *rule),
                    "Rule deleted successfully", "Rule not found");
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Rules::handleUpdateRuleRequest(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    Json::Value body;
    if (!parseBodyOrReply(request, response, body)) return;
    const std::string oldRule = memberText(event_json::member(body, "rule"), "content");
    const std::string newRule = memberText(event_json::member(body, "new_rule"), "content");
    const char* refusal = refusalOfRuleText(oldRule);
    if (!refusal) refusal = refusalOfRuleText(newRule);
    if (refusal) return reply::sendText(response, Code::Bad_Request, refusal);
    switch (updateRule(config::readString(config::kRulesFile), oldRule, newRule)) {
      case UpdateResult::kUpdated:
        return reply::sendText(response, Code::Ok, "Rule updated successfully");
      case UpdateResult::kNotFound:
        return reply::sendText(response, Code::Not_Found, "Old rule not found");
      case UpdateResult::kUnreadable:
        return reply::sendText(response, Code::Bad_Request, kUnreadableRule);
      case UpdateResult::kSidInUse:
        return reply::sendText(response, Code::Conflict, kSidInUse);
    }
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Rules::handleGetAdditionalRulesStatus(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    reply::sendText(response, Code::Ok, getAdditionalRuleStatus());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Rules::handleUpdateAdditionalRulesFile(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    // Any other document would read as "every category off".
    const std::optional<Json::Value> flags = json_body::readObject(request.body());
    if (!flags) return reply::sendText(response, Code::Bad_Request, kInvalidJson);
    RuleUpdateData data;  // a missing member reads as null, so false
    data.universal = (*flags)["universal"].asBool();
    data.fakenews = (*flags)["fakenews"].asBool();
    data.porno = (*flags)["porno"].asBool();
    data.gambling = (*flags)["gambling"].asBool();
    data.social = (*flags)["social"].asBool();
    if (updateAdditionalRulesFile(data)) {
      reply::sendText(response, Code::Ok, "Rules successfully updated");
    } else {
      reply::sendError(response, "Error updating rules");
    }
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}
