// One IPv4 address of one interface of the host, with its ARP neighbours.
#ifndef NET_INTERFACEINFO_H_
#define NET_INTERFACEINFO_H_

#include <string>
#include <vector>

#include "net/DeviceInfo.h"

struct InterfaceInfo {
  std::string interface;  // name, e.g. eth0; an interface with two addresses appears twice
  std::string ip;         // numeric IPv4 address
  std::string netmask;    // numeric IPv4 netmask, e.g. 255.255.255.0
  std::vector<DeviceInfo> devices;
};

#endif  // NET_INTERFACEINFO_H_
