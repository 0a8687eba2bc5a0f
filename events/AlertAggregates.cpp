// Dashboard aggregates over whole lists: alert counts per signature, and
// counts of alerts and anomalies per local hour over the last 24 hours.
#include "events/AlertAggregates.h"

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/LocalHours.h"
#include "common/Log.h"
#include "events/EventFilters.h"
#include "events/ListReader.h"
#include "events/RedisListReader.h"

namespace events {

namespace {

// The list of alerts that ferryd fills.
constexpr char kAlertList[] = "alert";

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

// The Alert of a parsed element when simdjson settles every member as
// toAlert would; nullopt when a member needs jsoncpp's own number formatting.
std::optional<Alert> fastAlert(simdjson::dom::element event) {
  using fast_event::find;
  using fast_event::textForm;
  std::optional<std::string> signature = textForm(find(event, {"alert", "signature"}));
  std::optional<std::string> category = textForm(find(event, {"alert", "category"}));
  const std::optional<int64_t> id = fast_event::int64OrZero(find(event, {"alert", "signature_id"}));
  std::optional<std::string> timestamp = textForm(find(event, {"timestamp"}));
  std::optional<std::string> source = textForm(find(event, {"src_ip"}));
  std::optional<std::string> destination = textForm(find(event, {"dest_ip"}));
  if (!signature || !category || !id || !timestamp || !source || !destination) return std::nullopt;
  return Alert{std::move(*signature), std::move(*category), *id,
               std::move(*timestamp), std::move(*source),   std::move(*destination)};
}

// Calls `use` with the Alert of every parsable element of "alert" in
// `lists`, in list order, a slice of the list at a time; `restart` when the
// list changed length between slices and the walk starts again
// (list_slices::walk). Elements that are not JSON are written to standard
// error and skipped. Throws as fetchAlertsFromRedis.
void forEachAlert(const ListReader& lists, const std::function<void(Alert&&)>& use,
                  const ListReader::Restart& restart) {
  static constexpr ReadFailure kFailure{"Events: Redis command error",
                                        "Events: Redis LRANGE command error", nullptr,
                                        "Events: Invalid Redis response"};
  event_json::ElementReader elements(event_json::makeLenientReader());
  fast_event::Parser fast;
  lists.walk(
      kAlertList, 0, -1,
      [&](const ListReply& slice) {
        expect(slice, ListReply::Kind::kList, kAlertList, kFailure);
        for (size_t i = 0; i < slice.size(); ++i) {
          const ListElement element = slice[i];
          if (element.text != nullptr && fast.parse(element.text, element.length)) {
            std::optional<Alert> alert = fastAlert(fast.root());
            if (alert) {
              use(std::move(*alert));
              continue;
            }
          }
          if (!elements.parse(element.text, element.length)) {
            logging::errorLine("JSON parse error: " + elements.error());
            continue;
          }
          use(toAlert(elements.event()));
        }
        return true;
      },
      restart);
}

// Rows of the per-signature statistics, built one alert at a time.
class SignatureTally {
 public:
  void add(const Alert& alert) {
    const auto [found, added] = rowOfId_.emplace(alert.signature_id, rows_.size());
    if (added) rows_.push_back({alert.signature, alert.category, alert.signature_id, 0});
    ++rows_[found->second].total;
  }
  const std::vector<SignatureStats>& rows() const { return rows_; }

 private:
  std::vector<SignatureStats> rows_;
  std::unordered_map<int64_t, size_t> rowOfId_;
};

}  // namespace

std::vector<Alert> fetchAlertsFromRedis() { return fetchAlertsFromRedis(redisLists()); }

std::vector<Alert> fetchAlertsFromRedis(const ListReader& lists) {
  std::vector<Alert> alerts;
  forEachAlert(
      lists, [&](Alert&& alert) { alerts.push_back(std::move(alert)); }, [&] { alerts.clear(); });
  return alerts;
}

std::vector<SignatureStats> calculateSignatureStats(const std::vector<Alert>& alerts) {
  SignatureTally tally;
  for (const Alert& alert : alerts) tally.add(alert);
  return tally.rows();
}

Json::Value getAlertsSignatures(const std::string& limit) {
  return getAlertsSignatures(redisLists(), limit);
}

Json::Value getAlertsSignatures(const ListReader& lists, const std::string& /*limit*/) {
  // Folded as the slices come, so that no list of every alert is kept.
  SignatureTally tally;
  forEachAlert(
      lists, [&](Alert&& alert) { tally.add(alert); }, [&] { tally = SignatureTally(); });
  Json::Value rows(Json::arrayValue);
  for (const SignatureStats& stats : tally.rows()) {
    Json::Value& row = rows.append(Json::Value(Json::objectValue));
    row["category"] = stats.category;
    row["signature"] = stats.signature;
    row["signature_id"] = static_cast<Json::Int64>(stats.signature_id);
    row["total"] = stats.total;
  }
  return rows;
}

Json::Value getHourlyAlertCountLast24h() {
  return getHourlyCountLast24h(redisLists(), kAlertList, time(nullptr));
}

Json::Value getHourlyAnomalyCountLast24h() {
  return getHourlyCountLast24h(redisLists(), "anomaly", time(nullptr));
}

Json::Value getHourlyCountLast24h(const char* list, time_t now) {
  return getHourlyCountLast24h(redisLists(), list, now);
}

Json::Value getHourlyCountLast24h(const ListReader& lists, const char* list, time_t now) {
  static constexpr ReadFailure kFailure{nullptr, "Redis command error: reply is null", nullptr,
                                        "Invalid Redis response, expected ARRAY"};
  Json::Value buckets(Json::objectValue);
  for (int k = 0; k < 24; ++k) buckets[hourKey(now - static_cast<time_t>(k) * 3600)] = 0;
  const Json::Value noneCounted = buckets;

  event_json::ElementReader elements(event_json::makeReader());
  fast_event::Parser fast;
  LocalHours hours;
  std::unordered_map<time_t, std::string> keyOfStart;
  lists.walk(
      list, 0, -1,
      [&](const ListReply& slice) {
        expect(slice, ListReply::Kind::kList, list, kFailure);
        for (size_t i = 0; i < slice.size(); ++i) {
          const ListElement element = slice[i];
          std::optional<std::string> text;
          if (element.text != nullptr && fast.parse(element.text, element.length)) {
            text = fast_event::textForm(fast_event::find(fast.root(), {"timestamp"}));
          }
          if (!text) {
            if (!elements.parse(element.text, element.length)) continue;
            text = event_json::textForm(event_json::member(elements.event(), "timestamp"));
          }
          time_t hourStart = -1;
          const std::optional<time_t> stamp = parseTimestamp(*text, &hours, &hourStart);
          if (!stamp) continue;
          const int64_t ageHours = (static_cast<int64_t>(now) - *stamp) / 3600;
          if (ageHours < 0 || ageHours > 23) continue;
          // Within an hour without a clock change every time has its start's key.
          std::string key;
          if (hourStart == -1) {
            key = hourKey(*stamp);
          } else {
            std::string& known = keyOfStart[hourStart];
            if (known.empty()) known = hourKey(hourStart);
            key = known;
          }
          Json::Value& count = buckets[key];
          count = count.asInt() + 1;
        }
        return true;
      },
      [&] { buckets = noneCounted; });
  return buckets;
}

}  // namespace events
