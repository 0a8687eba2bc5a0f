// The history of IPv4 source addresses, derived on every request from the
// event lists that the companion daemon ferryd keeps in Redis.
#ifndef NET_ADDRESSHISTORY_H_
#define NET_ADDRESSHISTORY_H_

#include <set>
#include <string>
#include <vector>

#include "net/NetException.h"

struct RedisWrapper;
namespace Json {
class CharReader;
}

namespace net {

// The Redis list keys of application.settings.statistical_events in the file
// at `path`, in file order. The setting must be a libconfig list (in
// parentheses). Never throws: a failure is written as one line on standard
// error ("I/O error while reading file.", "Parse error at <file>:<line> -
// <text>", "Setting not found: <path>", or "Error: <text>" for a setting that
// is no list or an element that is no string) and the keys read so far are returned.
std::vector<std::string> readStatisticalEvents(const std::string& path);

// Adds the "src_ip" of one stored event to `addresses` when it is a dotted
// IPv4 address. An entry that is not JSON gives "Error parsing JSON: " and
// the reader's errors on standard error, one the reader gives up on (nested
// too deeply) "Error processing event: " and its text; other values of
// "src_ip" (IPv6, numbers, objects, empty) and events without it add nothing.
// Never throws for bad input.
void addSourceIpv4(Json::CharReader& reader, const char* begin, const char* end,
                   std::set<std::string>& addresses);

// The distinct IPv4 "src_ip" values of every entry of the lists `keys`
// ("LRANGE key 0 -1" each, under the daemon's lock), in byte order. A key
// whose reply is missing or no array gives "Error executing LRANGE for key: "
// and the key on standard error and adds nothing. Throws std::runtime_error
// when Redis cannot be reached (RedisWrapper).
std::set<std::string> get_unique_ipv4(RedisWrapper& redis, const std::vector<std::string>& keys);

// The history document for the keys of the configuration file at
// `configPath`: {"unique_ips": [...]} in byte order without "0.0.0.0",
// written with four blanks of indentation, or the text null when no address
// qualifies. Throws as get_unique_ipv4 does.
std::string process_events_and_output(RedisWrapper& redis, const std::string& configPath);

// The same for the configuration file compiled into the server.
std::string process_events_and_output(RedisWrapper& redis);

// The address history of the lists named by
// application.settings.statistical_events, read under the daemon's lock.
// Throws NetException "Failed to get historical net data." (logged "Error
// getting net history data") on any failure, typically Redis unreachable;
// configuration failures are not failures here (see readStatisticalEvents).
std::string getHistoricalNetworkMap();

}  // namespace net

#endif  // NET_ADDRESSHISTORY_H_
