// Alerts for the world map: the first alerts in short form, with both ends
// located through the city database or the site's own configured location.
#include "events/AlertMap.h"

#include <maxminddb.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Configuration.h"
#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/JsonLayout.h"
#include "common/JsonText.h"
#include "common/Log.h"
#include "events/KeptLayouts.h"
#include "events/ListReader.h"
#include "events/RedisListReader.h"

namespace events {

namespace {

// The diagnostic lines of one request on standard output, written together
// when the request is done (or fails), so that the lines of two requests
// never mix and a request costs one write rather than one per lookup.
class Diagnostics {
 public:
  Diagnostics() = default;
  Diagnostics(const Diagnostics&) = delete;
  Diagnostics& operator=(const Diagnostics&) = delete;
  ~Diagnostics() {
    if (lines_.empty()) return;
    try {
      logging::printLines(lines_);
    } catch (...) {  // nothing to report them with
    }
  }
  void line(std::string text) { lines_.push_back(std::move(text)); }
  // For the kept short alerts: the lines so far, those written since, and
  // the lines to write again for one taken from them.
  size_t count() const { return lines_.size(); }
  std::vector<std::string> since(size_t count) const {
    return std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(count),
                                    lines_.end());
  }
  std::vector<std::string>* lines() { return &lines_; }

 private:
  std::vector<std::string> lines_;
};

// `value` with every bit of it: two differing doubles never give one text.
std::string exactText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

std::string coordinates(const GeoPoint& point) {
  std::ostringstream text;
  text << "lon " << point.longitude << " lat " << point.latitude;
  return text.str();
}

// The site's location and the diagnostic lines every lookup writes about it,
// worked out once per request.
struct Site {
  explicit Site(GeoPoint where)
      : point(std::move(where)),
        insideLine("inside geo location: " + coordinates(point)),
        resultLine("res: " + coordinates(point)) {}
  GeoPoint point;
  std::string insideLine;
  std::string resultLine;
};

// One end's location as the map shows it; the defaults stand for what is not
// known.
struct Location {
  std::string country = "Unknown";
  std::string city = "Unknown";
  double latitude = -85.0;
  double longitude = 0.0;
};

// The value at `path` below `entry` when the record has one of type `type`.
std::optional<MMDB_entry_data_s> valueAt(MMDB_entry_s& entry, const char* const* path,
                                         uint32_t type) {
  MMDB_entry_data_s data{};
  if (MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data || data.type != type) {
    return std::nullopt;
  }
  return data;
}

Location locate(const std::string& ip, const MMDB_s* mmdb, const Site& site,
                Diagnostics& diagnostics) {
  diagnostics.line(site.insideLine);
  Location location;
  if (check_private_ip(ip)) {
    location = {site.point.country, site.point.city, site.point.latitude, site.point.longitude};
    diagnostics.line(site.resultLine);
    return location;
  }
  if (mmdb == nullptr) {
    diagnostics.line("Error: pointer to GeoLite2 not initialized.");
    return location;
  }
  int gaiError = 0;
  int mmdbError = MMDB_SUCCESS;
  MMDB_lookup_result_s result = MMDB_lookup_string(mmdb, ip.c_str(), &gaiError, &mmdbError);
  if (gaiError != 0 || mmdbError != MMDB_SUCCESS || !result.found_entry) {
    diagnostics.line("Search error IP gai: " + ip + " - " + MMDB_strerror(mmdbError));
    return location;
  }
  static const char* const kCountry[] = {"country", "names", "en", nullptr};
  static const char* const kCity[] = {"city", "names", "en", nullptr};
  static const char* const kLatitude[] = {"location", "latitude", nullptr};
  static const char* const kLongitude[] = {"location", "longitude", nullptr};
  // What the record lacks, or holds with another type, keeps its default.
  const auto text = [&](const char* const* path, std::string& target) {
    if (const auto data = valueAt(result.entry, path, MMDB_DATA_TYPE_UTF8_STRING)) {
      target.assign(data->utf8_string, data->data_size);
    }
  };
  const auto real = [&](const char* const* path, double& target) {
    if (const auto data = valueAt(result.entry, path, MMDB_DATA_TYPE_DOUBLE)) {
      target = data->double_value;
    }
  };
  text(kCountry, location.country);
  text(kCity, location.city);
  real(kLatitude, location.latitude);
  real(kLongitude, location.longitude);
  return location;
}

Json::Value toJson(const Location& location) {
  Json::Value geo(Json::objectValue);
  geo["Country"] = location.country;
  geo["City"] = location.city;
  geo["latitude"] = location.latitude;
  geo["longitude"] = location.longitude;
  return geo;
}

void writeLocation(json_layout::Stream& out, const Location& location) {
  out.beginObject();
  out.key("City");
  out.value(location.city);
  out.key("Country");
  out.value(location.country);
  out.key("latitude");
  out.value(location.latitude);
  out.key("longitude");
  out.value(location.longitude);
  out.endObject();
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

// The members a short alert copies from its event, in the reply's order
// (byte order of the names), with the placeholder of an absent one.
struct Copied {
  fast_event::Path path;
  const char* name;
  bool number;  // placeholder 0 rather than "N/A"
};
const Copied kCopied[] = {
    {{"dest_ip"}, "dest_ip", false},
    {{"dest_port"}, "dest_port", true},
    {{"flow_id"}, "flow_id", true},
    {{"in_iface"}, "in_iface", false},
    {{"alert", "signature"}, "signature", false},
    {{"alert", "signature_id"}, "signature_id", true},
    {{"src_ip"}, "src_ip", false},
    {{"src_port"}, "src_port", true},
    {{"timestamp"}, "timestamp", false},
};
constexpr size_t kDestIp = 0;
constexpr size_t kSignatureId = 5;
constexpr size_t kSrcIp = 6;
constexpr size_t kCopiedCount = sizeof(kCopied) / sizeof(kCopied[0]);

// The member at `path` below an event read by jsoncpp, or null when a step is
// missing or is not an object.
const Json::Value* memberAt(const Json::Value& event, const fast_event::Path& path) {
  const Json::Value* at = &event;
  for (const std::string_view name : path) {
    if (!at->isObject()) return nullptr;
    at = at->find(name.data(), name.data() + name.size());
    if (at == nullptr) return nullptr;
  }
  return at;
}

// The short alert of an event read by jsoncpp, with both ends located: each
// copied member with its JSON type, or its placeholder when absent.
Json::Value shortAlert(const Json::Value& event, const MMDB_s* mmdb, const Site& site,
                       Diagnostics& diagnostics) {
  Json::Value alert(Json::objectValue);
  for (const Copied& copied : kCopied) {
    const Json::Value* value = memberAt(event, copied.path);
    alert[copied.name] = value != nullptr ? *value
                         : copied.number  ? Json::Value(0)
                                          : Json::Value("N/A");
  }
  alert["src_geo"] = toJson(locate(event_json::textForm(alert["src_ip"]), mmdb, site, diagnostics));
  alert["dest_geo"] =
      toJson(locate(event_json::textForm(alert["dest_ip"]), mmdb, site, diagnostics));
  return alert;
}

// The text form an address member gives the lookup: "N/A" when absent.
std::optional<std::string> addressOf(const std::optional<simdjson::dom::element>& member) {
  if (!member) return std::string("N/A");
  return fast_event::textForm(member);
}

// Writes the short alert of an event object read by simdjson, both ends
// located, as the next element of `alerts`. Returns false, having written and
// located nothing, when a copied member is an object or an array or an
// address is a real number: jsoncpp then handles the event.
bool writeFastShortAlert(simdjson::dom::element event, json_layout::ArrayText& alerts,
                         const MMDB_s* mmdb, const Site& site, Diagnostics& diagnostics) {
  std::optional<simdjson::dom::element> members[kCopiedCount];
  for (size_t i = 0; i < kCopiedCount; ++i) {
    members[i] = fast_event::find(event, kCopied[i].path);
    if (members[i] && (members[i]->is_object() || members[i]->is_array())) return false;
  }
  const std::optional<std::string> srcIp = addressOf(members[kSrcIp]);
  const std::optional<std::string> destIp = addressOf(members[kDestIp]);
  if (!srcIp || !destIp) return false;
  const Location src = locate(*srcIp, mmdb, site, diagnostics);
  const Location dest = locate(*destIp, mmdb, site, diagnostics);

  json_layout::Stream out = alerts.next();
  out.beginObject();
  out.key("dest_geo");
  writeLocation(out, dest);
  for (size_t i = 0; i < kCopiedCount; ++i) {
    out.key(kCopied[i].name);
    if (members[i])
      out.value(*members[i]);
    else if (kCopied[i].number)
      out.value(int64_t{0});
    else
      out.value(std::string_view("N/A"));
    if (i == kSignatureId) {
      out.key("src_geo");
      writeLocation(out, src);
    }
  }
  out.endObject();
  return true;
}

}  // namespace

std::string getAlertsShortEvents(const std::string& limit) {
  static constexpr ReadFailure kFailure{"Events: Redis command error",
                                        "Events: Redis command error", nullptr,
                                        "Events: Invalid Redis response"};
  const ListReply reply = redisLists().page("alert", "0", limit);
  expect(reply, ListReply::Kind::kList, "alert", kFailure);

  std::string geoFile;
  GeoPoint point;
  {
    libconfig::Config cfg;
    config::load(cfg);
    geoFile = config::getString(cfg, config::kGeoFile);
    point = readGeoPoint(cfg);
  }
  Diagnostics diagnostics;
  // A short alert depends on its stored text, the city database and the
  // site's location: kept ones are used while all three are the same.
  KeptLayouts::Context context{nullptr, point.country + '\0' + point.city + '\0' +
                                            exactText(point.latitude) + '\0' +
                                            exactText(point.longitude)};
  std::ostringstream lat, lon;
  lat << "lat  " << point.latitude;
  lon << "long  " << point.longitude;
  diagnostics.line(lat.str());
  diagnostics.line(lon.str());
  const Site site(std::move(point));
  diagnostics.line(site.resultLine);

  // Held until the last lookup of this request, whatever other requests do.
  const std::shared_ptr<const GeoDatabase> database = GeoDatabase::acquire(geoFile);
  const MMDB_s* mmdb = database->handle();
  context.object = database;

  json_layout::ArrayText alerts;
  event_json::ElementReader elements(event_json::makeLenientReader());
  fast_event::Parser fast;
  KeptLayouts& kept = mapLayouts();
  for (size_t i = 0; i < reply.size(); ++i) {
    const ListElement element = reply[i];
    const std::string_view text(element.text == nullptr ? "" : element.text, element.length);
    if (element.text != nullptr && kept.addKept(text, alerts, diagnostics.lines(), context)) {
      continue;
    }
    const size_t linesBefore = diagnostics.count();
    // Reached only for an element with text: one without fails both readers.
    const auto keepLast = [&] {
      kept.keep(text, alerts.lastElement(), diagnostics.since(linesBefore), context);
    };
    if (element.text != nullptr && fast.parse(element.text, element.length) &&
        fast.root().is_object() &&
        writeFastShortAlert(fast.root(), alerts, mmdb, site, diagnostics)) {
      keepLast();
      continue;
    }
    const Json::Value& event = elements.event();
    if (!elements.parse(element.text, element.length)) {
      logging::alert("JSON parsing error: %s. Data: %s", elements.error().c_str(), elements.text());
      logSkipped("Events: JSON parsing error: " + elements.error(), elements.text());
      continue;
    }
    if (!event.isObject()) {
      logSkipped("Events: event is not a JSON object", elements.text());
      continue;
    }
    alerts.add(json_text::write(shortAlert(event, mmdb, site, diagnostics)));
    keepLast();
  }
  return std::move(alerts).finish();
}

Json::Value get_geolocation(const std::string& ip, const MMDB_s* mmdb,
                            const GeoPoint& defaultPoint) {
  Diagnostics diagnostics;
  return toJson(locate(ip, mmdb, Site(defaultPoint), diagnostics));
}

bool check_private_ip(const std::string& ip) {
  // Each dotted piece is read as a decimal int the way std::stoi reads it
  // (leading blanks and a sign allowed, text after the digits ignored), but
  // without copying the piece or throwing for one that holds no number.
  int octets[4];
  size_t count = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = ip.find('.', start);
    // strtol stops at the dot, which is no digit, so it stays inside the piece.
    const char* piece = ip.c_str() + start;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(piece, &end, 10);
    if (end == piece || errno == ERANGE || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max()) {
      return false;
    }
    if (count == 4 || value > 255) return false;
    octets[count++] = static_cast<int>(value);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (count != 4) return false;
  return octets[0] == 10 || (octets[0] == 172 && octets[1] >= 16 && octets[1] <= 31) ||
         (octets[0] == 192 && octets[1] == 168);
}

}  // namespace events
