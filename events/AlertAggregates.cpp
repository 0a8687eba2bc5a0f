// Dashboard aggregates over whole lists: alert counts per signature, and
// counts of alerts and anomalies per local hour over the last 24 hours.
#include "events/AlertAggregates.h"

#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/EventJson.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"
#include "events/EventFilters.h"

namespace events {

namespace {

// "%Y-%m-%dT%H" of the local hour containing `moment`.
std::string hourKey(time_t moment) {
  std::tm calendar{};
  localtime_r(&moment, &calendar);
  char key[32];
  strftime(key, sizeof key, "%Y-%m-%dT%H", &calendar);
  return key;
}

Alert toAlert(const Json::Value& event) {
  using event_json::member;
  using event_json::textForm;
  const Json::Value& rule = member(event, "alert");
  const Json::Value& id = member(rule, "signature_id");
  Alert alert;
  alert.signature = textForm(member(rule, "signature"));
  alert.category = textForm(member(rule, "category"));
  alert.signature_id = id.isInt64() ? id.asInt64() : 0;
  alert.timestamp = textForm(member(event, "timestamp"));
  alert.src_ip = textForm(member(event, "src_ip"));
  alert.dest_ip = textForm(member(event, "dest_ip"));
  return alert;
}

}  // namespace

std::vector<Alert> fetchAlertsFromRedis() {
  RedisReplyPtr reply = runWithLock("LRANGE alert 0 -1");
  if (!reply) {
    logging::alert("Events: Redis command error");
    throw EventsException("Events: Redis LRANGE command error");
  }
  if (reply->type != redis_type::kArray) throw EventsException("Events: Invalid Redis response");

  std::vector<Alert> alerts;
  alerts.reserve(reply->elements);
  event_json::ElementReader elements(event_json::makeLenientReader());
  for (size_t i = 0; i < reply->elements; ++i) {
    if (!elements.parse(*reply->element[i])) {
      logging::errorLine("JSON parse error: " + elements.error());
      continue;
    }
    alerts.push_back(toAlert(elements.event()));
  }
  return alerts;
}

std::vector<SignatureStats> calculateSignatureStats(const std::vector<Alert>& alerts) {
  std::vector<SignatureStats> rows;
  std::unordered_map<int64_t, size_t> rowOfId;
  for (const Alert& alert : alerts) {
    const auto [found, added] = rowOfId.emplace(alert.signature_id, rows.size());
    if (added) rows.push_back({alert.signature, alert.category, alert.signature_id, 0});
    ++rows[found->second].total;
  }
  return rows;
}

Json::Value getAlertsSignatures(const std::string& /*limit*/) {
  Json::Value rows(Json::arrayValue);
  for (const SignatureStats& stats : calculateSignatureStats(fetchAlertsFromRedis())) {
    Json::Value& row = rows.append(Json::Value(Json::objectValue));
    row["category"] = stats.category;
    row["signature"] = stats.signature;
    row["signature_id"] = static_cast<Json::Int64>(stats.signature_id);
    row["total"] = stats.total;
  }
  return rows;
}

Json::Value getHourlyAlertCountLast24h() {
  return getHourlyCountLast24h("alert", time(nullptr));
}

Json::Value getHourlyAnomalyCountLast24h() {
  return getHourlyCountLast24h("anomaly", time(nullptr));
}

Json::Value getHourlyCountLast24h(const char* list, time_t now) {
  RedisReplyPtr reply = runWithLock("LRANGE %s 0 -1", list);
  if (!reply) throw EventsException("Redis command error: reply is null");
  if (reply->type != redis_type::kArray) {
    throw EventsException("Invalid Redis response, expected ARRAY");
  }

  Json::Value buckets(Json::objectValue);
  for (int k = 0; k < 24; ++k) buckets[hourKey(now - static_cast<time_t>(k) * 3600)] = 0;

  event_json::ElementReader elements(event_json::makeReader());
  for (size_t i = 0; i < reply->elements; ++i) {
    if (!elements.parse(*reply->element[i])) continue;
    const std::optional<time_t> stamp =
        parseTimestamp(event_json::textForm(event_json::member(elements.event(), "timestamp")));
    if (!stamp) continue;
    const int64_t ageHours = (static_cast<int64_t>(now) - *stamp) / 3600;
    if (ageHours < 0 || ageHours > 23) continue;
    Json::Value& count = buckets[hourKey(*stamp)];
    count = count.asInt() + 1;
  }
  return buckets;
}

}  // namespace events
