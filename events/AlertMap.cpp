// Alerts for the world map: the first alerts in short form, with both ends
// located through the city database or the site's own configured location.
#include "events/AlertMap.h"

#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <maxminddb.h>

#include "common/Configuration.h"
#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"

namespace events {

namespace {

// Diagnostic lines on standard output, one write each so that the two worker
// threads do not interleave within a line.
void diagnose(const std::string& line) { logging::printLine(line); }

std::string coordinates(const GeoPoint& point) {
  std::ostringstream text;
  text << "lon " << point.longitude << " lat " << point.latitude;
  return text.str();
}

// An alert element that cannot be shown is logged and left out.
void logSkipped(const std::string& reason, const char* text) {
  logging::alert("Failed to process event from Redis: %s. Data: %s", reason.c_str(), text);
}

GeoPoint readGeoPoint(const libconfig::Config& cfg) {
  GeoPoint point;
  point.country = config::getString(cfg, config::kCountry);
  point.city = config::getString(cfg, config::kCity);
  point.latitude = config::getFloat(cfg, config::kLatitude);
  point.longitude = config::getFloat(cfg, config::kLongitude);
  return point;
}

// Copies the event's member `name` with its JSON type, or `placeholder` when
// the member is absent.
void copyOr(const Json::Value& from, const char* name, const Json::Value& placeholder,
            Json::Value& to) {
  const Json::Value* value = from.isObject() ? from.find(name, name + std::strlen(name)) : nullptr;
  to[name] = value != nullptr ? *value : placeholder;
}

Json::Value shortAlert(const Json::Value& event) {
  Json::Value alert(Json::objectValue);
  const Json::Value na("N/A");
  const Json::Value zero(0);
  copyOr(event, "dest_ip", na, alert);
  copyOr(event, "dest_port", zero, alert);
  copyOr(event, "flow_id", zero, alert);
  copyOr(event, "in_iface", na, alert);
  copyOr(event, "src_ip", na, alert);
  copyOr(event, "src_port", zero, alert);
  copyOr(event, "timestamp", na, alert);
  const Json::Value& rule = event_json::member(event, "alert");
  copyOr(rule, "signature", na, alert);
  copyOr(rule, "signature_id", zero, alert);
  return alert;
}

// A scalar read by simdjson as jsoncpp would hold it; nullopt for an object
// or an array.
std::optional<Json::Value> scalarValue(simdjson::dom::element value) {
  using simdjson::dom::element_type;
  switch (value.type()) {
    case element_type::STRING: return Json::Value(std::string(std::string_view(value)));
    case element_type::INT64: return Json::Value(Json::Int64(int64_t(value)));
    case element_type::UINT64: return Json::Value(Json::UInt64(uint64_t(value)));
    case element_type::DOUBLE: return Json::Value(double(value));
    case element_type::BOOL: return Json::Value(bool(value));
    case element_type::NULL_VALUE: return Json::Value();
    default: return std::nullopt;
  }
}

// shortAlert of an event object read by simdjson; nullopt when a member it
// copies is an object or an array, which jsoncpp then copies as a whole.
std::optional<Json::Value> fastShortAlert(simdjson::dom::element event) {
  static const struct {
    fast_event::Path path;
    const char* name;
    bool number;  // placeholder 0 rather than "N/A"
  } kMembers[] = {
      {{"dest_ip"}, "dest_ip", false},         {{"dest_port"}, "dest_port", true},
      {{"flow_id"}, "flow_id", true},          {{"in_iface"}, "in_iface", false},
      {{"src_ip"}, "src_ip", false},           {{"src_port"}, "src_port", true},
      {{"timestamp"}, "timestamp", false},     {{"alert", "signature"}, "signature", false},
      {{"alert", "signature_id"}, "signature_id", true},
  };
  Json::Value alert(Json::objectValue);
  for (const auto& member : kMembers) {
    const std::optional<simdjson::dom::element> found = fast_event::find(event, member.path);
    if (!found) {
      alert[member.name] = member.number ? Json::Value(0) : Json::Value("N/A");
      continue;
    }
    std::optional<Json::Value> value = scalarValue(*found);
    if (!value) return std::nullopt;
    alert[member.name] = std::move(*value);
  }
  return alert;
}

// Reads the value at `path` below `entry` into `target` when the record has
// one of type `type` (a UTF-8 string or a double); otherwise leaves `target`.
void readValue(MMDB_entry_s& entry, const char* const* path, uint32_t type, Json::Value& target) {
  MMDB_entry_data_s data{};
  if (MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data || data.type != type) {
    return;
  }
  if (type == MMDB_DATA_TYPE_UTF8_STRING) {
    target = std::string(data.utf8_string, data.data_size);
  } else {
    target = data.double_value;
  }
}

// Adds "src_geo" and "dest_geo" to a short alert.
void addLocations(Json::Value& alert, const MMDB_s* mmdb, const GeoPoint& site) {
  alert["src_geo"] = get_geolocation(event_json::textForm(alert["src_ip"]), mmdb, site);
  alert["dest_geo"] = get_geolocation(event_json::textForm(alert["dest_ip"]), mmdb, site);
}

}  // namespace

Json::Value getAlertsShortEvents(const std::string& limit) {
  RedisReplyPtr reply = runWithLock("LRANGE alert 0 %s", limit.c_str());
  if (!reply) {
    logging::alert("Events: Redis command error");
    throw EventsException("Events: Redis command error");
  }
  if (reply->type != redis_type::kArray) throw EventsException("Events: Invalid Redis response");

  std::string geoFile;
  GeoPoint site;
  {
    libconfig::Config cfg;
    config::load(cfg);
    geoFile = config::getString(cfg, config::kGeoFile);
    site = readGeoPoint(cfg);
  }
  std::ostringstream lat, lon;
  lat << "lat  " << site.latitude;
  lon << "long  " << site.longitude;
  diagnose(lat.str());
  diagnose(lon.str());
  diagnose("res: " + coordinates(site));

  // Held until the last lookup of this request, whatever other requests do.
  const std::shared_ptr<const GeoDatabase> database = GeoDatabase::acquire(geoFile);

  Json::Value alerts(Json::arrayValue);
  event_json::ElementReader elements(event_json::makeLenientReader());
  fast_event::Parser fast;
  for (size_t i = 0; i < reply->elements; ++i) {
    const redisReply& element = *reply->element[i];
    std::optional<Json::Value> fastAlert;
    if (element.str != nullptr && fast.parse(element.str, element.len) &&
        fast.root().is_object()) {
      fastAlert = fastShortAlert(fast.root());
    }
    if (fastAlert) {
      Json::Value& alert = alerts.append(std::move(*fastAlert));
      addLocations(alert, database->handle(), site);
      continue;
    }
    const Json::Value& event = elements.event();
    if (!elements.parse(element)) {
      logging::alert("JSON parsing error: %s. Data: %s", elements.error().c_str(),
             elements.text());
      logSkipped("Events: JSON parsing error: " + elements.error(), elements.text());
      continue;
    }
    if (!event.isObject()) {
      logSkipped("Events: event is not a JSON object", elements.text());
      continue;
    }
    addLocations(alerts.append(shortAlert(event)), database->handle(), site);
  }
  return alerts;
}

Json::Value get_geolocation(const std::string& ip, const MMDB_s* mmdb,
                            const GeoPoint& defaultPoint) {
  diagnose("inside geo location: " + coordinates(defaultPoint));
  Json::Value geo(Json::objectValue);
  geo["Country"] = "Unknown";
  geo["City"] = "Unknown";
  geo["latitude"] = -85.0;
  geo["longitude"] = 0.0;

  if (check_private_ip(ip)) {
    geo["Country"] = defaultPoint.country;
    geo["City"] = defaultPoint.city;
    geo["latitude"] = defaultPoint.latitude;
    geo["longitude"] = defaultPoint.longitude;
    diagnose("res: " + coordinates(defaultPoint));
    return geo;
  }
  if (mmdb == nullptr) {
    diagnose("Error: pointer to GeoLite2 not initialized.");
    return geo;
  }

  int gaiError = 0;
  int mmdbError = MMDB_SUCCESS;
  MMDB_lookup_result_s result = MMDB_lookup_string(mmdb, ip.c_str(), &gaiError, &mmdbError);
  if (gaiError != 0 || mmdbError != MMDB_SUCCESS || !result.found_entry) {
    diagnose("Search error IP gai: " + ip + " - " + MMDB_strerror(mmdbError));
    return geo;
  }
  static const char* const kCountry[] = {"country", "names", "en", nullptr};
  static const char* const kCity[] = {"city", "names", "en", nullptr};
  static const char* const kLatitude[] = {"location", "latitude", nullptr};
  static const char* const kLongitude[] = {"location", "longitude", nullptr};
  readValue(result.entry, kCountry, MMDB_DATA_TYPE_UTF8_STRING, geo["Country"]);
  readValue(result.entry, kCity, MMDB_DATA_TYPE_UTF8_STRING, geo["City"]);
  readValue(result.entry, kLatitude, MMDB_DATA_TYPE_DOUBLE, geo["latitude"]);
  readValue(result.entry, kLongitude, MMDB_DATA_TYPE_DOUBLE, geo["longitude"]);
  return geo;
}

bool check_private_ip(const std::string& ip) {
  int octets[4];
  size_t count = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = ip.find('.', start);
    const std::string piece = ip.substr(start, dot == std::string::npos ? dot : dot - start);
    int value = 0;
    try {
      value = std::stoi(piece);
    } catch (const std::logic_error&) {  // invalid_argument or out_of_range
      return false;
    }
    if (count == 4 || value > 255) return false;
    octets[count++] = value;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (count != 4) return false;
  return octets[0] == 10 || (octets[0] == 172 && octets[1] >= 16 && octets[1] <= 31) ||
         (octets[0] == 192 && octets[1] == 168);
}

}  // namespace events
