// Alerts for the world map: the first alerts in short form, with both ends
// located through the city database or the site's own configured location.
#include "events/AlertMap.h"

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include <maxminddb.h>

#include "common/Configuration.h"
#include "common/EventJson.h"
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
  for (size_t i = 0; i < reply->elements; ++i) {
    const Json::Value& event = elements.event();
    if (!elements.parse(*reply->element[i])) {
      logging::alert("JSON parsing error: %s. Data: %s", elements.error().c_str(),
             elements.text());
      logSkipped("Events: JSON parsing error: " + elements.error(), elements.text());
      continue;
    }
    if (!event.isObject()) {
      logSkipped("Events: event is not a JSON object", elements.text());
      continue;
    }
    Json::Value& alert = alerts.append(shortAlert(event));
    alert["src_geo"] =
        get_geolocation(event_json::textForm(alert["src_ip"]), database->handle(), site);
    alert["dest_geo"] =
        get_geolocation(event_json::textForm(alert["dest_ip"]), database->handle(), site);
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
