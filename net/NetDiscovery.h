// Discovery of the host's IPv4 interfaces and of the neighbours in the
// kernel's ARP table, and the network map text written from them.
#ifndef NET_NETDISCOVERY_H_
#define NET_NETDISCOVERY_H_

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/DeviceInfo.h"
#include "net/InterfaceInfo.h"
#include "net/NetException.h"

struct ifaddrs;

namespace net {

// ---- Interfaces ------------------------------------------------------------

// The host's IPv4 addresses, one entry per address, in getifaddrs order, with
// empty devices. When getifaddrs fails: perror("getifaddrs"), "Error getting
// net interfaces" at LOG_ALERT, and an empty sequence. Never throws.
std::vector<InterfaceInfo> getNetworkInterfaces();

// The entries of a getifaddrs list that getNetworkInterfaces keeps: family
// AF_INET with an address and a netmask, and a name other than exactly "lo"
// (lo0 and lo:1 stay). An entry whose address or netmask getnameinfo cannot
// convert is logged ("getNetworkInterfaces:Error getting device name") and left out.
std::vector<InterfaceInfo> interfacesFromAddresses(const ifaddrs* list);

// ---- ARP neighbours ----------------------------------------------------------

// Host name for a dotted IPv4 address; "" when there is none.
using HostNameLookup = std::function<std::string(const std::string& ip)>;

// Reads "/proc/net/arp" and looks up each neighbour's name, spending at most
// a few seconds on lookups for the whole table (a neighbour whose name is not
// known by then has an empty name). When the file cannot be opened: "Cannot
// open /proc/net/arp" on standard error and an empty table.
ArpTable getARPEntries();

// Parses the text of "/proc/net/arp": the first line (column header) is
// skipped; every further line holds six words (IP address, hardware type,
// flags, hardware address, mask, device) and becomes a DeviceInfo under its
// device, named by `lookup` of its address. Incomplete entries (flags 0x0,
// hardware address of zeros) are kept; lines of fewer than six words are not entries.
ArpTable parseARPTable(const std::string& text, const HostNameLookup& lookup);

// Official host name of a dotted IPv4 address by reverse lookup; "" when the
// address is not valid, nothing is found, or no answer came before `deadline`
// (the lookup then finishes on its own thread and its result is dropped).
std::string lookupHostName(const std::string& ip, std::chrono::steady_clock::time_point deadline);

// Runs `task` on a thread of its own and returns its result, or nothing when
// it has not finished by `deadline` (or no thread could be started).
std::optional<std::string> resultWithin(std::function<std::string()> task,
                                        std::chrono::steady_clock::time_point deadline);

// ---- The map text ----------------------------------------------------------------

// The live map: get_net_map of getNetworkInterfaces and getARPEntries.
std::string get_net_map();

// Gives each interface the devices the table lists under its name (none when
// absent; table entries of other devices are not shown) and writes the map:
// a JSON array of objects "interface", "ip", "netmask", "devices" (objects
// "ip", "hostname", "mac"), two blanks per level, a member per line, every
// line ending in a line feed. Values are written as JSON strings: a double
// quote, backslash or control character is escaped, and a byte that is not
// part of valid UTF-8 becomes \ufffd; every other byte is written as it is.
// With no interface the text is "[\n]\n".
std::string get_net_map(std::vector<InterfaceInfo> interfaces, const ArpTable& table);

// The live map text (get_net_map). Throws NetException "Failed to get net
// map." (logged "Error getting net data") should the text be empty.
std::string getNetworkMap();

}  // namespace net

#endif  // NET_NETDISCOVERY_H_
