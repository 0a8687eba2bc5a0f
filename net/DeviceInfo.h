// One neighbour of the host as the kernel's ARP table knows it, and that
// table grouped by interface name.
#ifndef NET_DEVICEINFO_H_
#define NET_DEVICEINFO_H_

#include <map>
#include <string>
#include <vector>

struct DeviceInfo {
  std::string ip;        // dotted IPv4 address as written in the ARP table
  std::string hostname;  // name found by reverse lookup; empty when none
  std::string mac;       // hardware address as written there, e.g. 00:11:22:33:44:55
};

// Interface name (byte order) -> its neighbours in the order of the ARP table's lines.
using ArpTable = std::map<std::string, std::vector<DeviceInfo>>;

#endif  // NET_DEVICEINFO_H_
