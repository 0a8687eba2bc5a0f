// Threshold entries to and from JSON.
#include "rules/ThresholdJson.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>

namespace threshold {

namespace {

constexpr std::initializer_list<const char*> kMembers = {
    "kind", "gen_id", "sig_id", "track", "ip", "type", "count", "seconds", "new_action", "timeout"};

// Member `key` of `body`, or nothing when it is absent or null.
const Json::Value* present(const Json::Value& body, const char* key) {
  const Json::Value* value = body.find(key, key + std::char_traits<char>::length(key));
  return value == nullptr || value->isNull() ? nullptr : value;
}

std::optional<uint32_t> numberOf(const Json::Value& body, const char* key) {
  const Json::Value* value = present(body, key);
  if (value == nullptr) return std::nullopt;
  const std::string problem = std::string(key) + " must be an unsigned 32-bit number";
  if (value->isString()) {
    const std::string text = value->asString();
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw InvalidEntry(problem);
    }
    const uint64_t n = std::stoull(text);
    if (n > std::numeric_limits<uint32_t>::max()) throw InvalidEntry(problem);
    return static_cast<uint32_t>(n);
  }
  const bool integer = value->type() == Json::intValue || value->type() == Json::uintValue;
  if (!integer || !value->isUInt()) throw InvalidEntry(problem);
  return value->asUInt();
}

std::optional<std::string> textOf(const Json::Value& body, const char* key) {
  const Json::Value* value = present(body, key);
  if (value == nullptr) return std::nullopt;
  if (!value->isString()) throw InvalidEntry(std::string(key) + " must be a string");
  return value->asString();
}

}  // namespace

Json::Value listingJson(const std::vector<ListedEntry>& entries,
                        const std::map<uint32_t, std::string>& messages) {
  Json::Value array(Json::arrayValue);
  for (const ListedEntry& listed : entries) {
    const Entry& entry = listed.read.entry;
    Json::Value object(Json::objectValue);
    object["kind"] = kindName(entry.kind);
    object["gen_id"] = entry.genId;
    object["sig_id"] = entry.sigId;
    forEachOption(entry, [&object](const char* key, const auto& value) {
      if (value) object[key] = *value;
    });
    object["content"] = listed.content;
    object["line"] = static_cast<Json::UInt64>(listed.line);
    object["enabled"] = listed.read.enabled;
    const auto message = messages.find(entry.sigId);
    if (message != messages.end()) object["msg"] = message->second;
    array.append(std::move(object));
  }
  return array;
}

Entry entryFromJson(const Json::Value& body) {
  if (!body.isObject()) throw InvalidEntry("The body must be a JSON object");
  for (const std::string& name : body.getMemberNames()) {
    if (std::none_of(kMembers.begin(), kMembers.end(), [&](const char* m) { return name == m; })) {
      throw InvalidEntry("Unknown member \"" + name + "\"");
    }
  }
  Entry entry;
  if (const std::optional<std::string> kind = textOf(body, "kind")) {
    const std::optional<Kind> known = kindNamed(*kind);
    if (!known) {
      throw InvalidEntry("kind must be one of suppress, threshold, event_filter, rate_filter");
    }
    entry.kind = *known;
  }
  const std::optional<uint32_t> sigId = numberOf(body, "sig_id");
  if (!sigId) throw InvalidEntry("sig_id is required");
  entry.sigId = *sigId;
  entry.genId = numberOf(body, "gen_id").value_or(1);
  entry.track = textOf(body, "track");
  entry.ip = textOf(body, "ip");
  entry.type = textOf(body, "type");
  entry.count = numberOf(body, "count");
  entry.seconds = numberOf(body, "seconds");
  entry.newAction = textOf(body, "new_action");
  entry.timeout = numberOf(body, "timeout");
  if (const std::optional<std::string> problem = problemOf(entry)) throw InvalidEntry(*problem);
  return entry;
}

}  // namespace threshold
