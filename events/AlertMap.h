// Alerts for the world map: the first alerts in short form, with both ends
// located through the city database or the site's own configured location.
#ifndef EVENTS_ALERTMAP_H_
#define EVENTS_ALERTMAP_H_

#include <json/value.h>

#include <string>

#include "events/EventsException.h"
#include "events/Geolocation.h"

struct MMDB_s;

namespace events {

// The text of the alerts at indexes 0 to `limit` of "alert" in short form,
// each with "src_geo" and "dest_geo", in the default JSON layout. Elements that are not JSON
// objects are logged and skipped. Reads "application.settings.geo_file" and the GeoPoint keys
// (libconfig exceptions pass through). Throws EventsException "Events: Redis
// command error" / "Events: Invalid Redis response", and std::runtime_error
// "Cannot open GeoLite2" when the database cannot be opened.
std::string getAlertsShortEvents(const std::string& limit);

// {"City", "Country", "latitude", "longitude"} of `ip`: `defaultPoint` for a
// private address, the database's values when it knows the address, and
// "Unknown", "Unknown", -85.0, 0.0 for whatever is not known (`mmdb` may be
// null). Never throws for a bad address.
Json::Value get_geolocation(const std::string& ip, const MMDB_s* mmdb,
                            const GeoPoint& defaultPoint);

// True for dotted IPv4 texts in 10/8, 172.16/12 and 192.168/16. Loopback,
// link-local and every IPv6 address are not private.
bool check_private_ip(const std::string& ip);

}  // namespace events

#endif  // EVENTS_ALERTMAP_H_
