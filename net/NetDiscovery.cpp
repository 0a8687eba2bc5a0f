// The host's interfaces (getifaddrs), its ARP neighbours ("/proc/net/arp")
// with their names by reverse lookup, and the hand-written map text.
#include "net/NetDiscovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <system_error>
#include <thread>

#include "common/BuildSettings.h"
#include "common/JsonLayout.h"
#include "common/Log.h"

namespace net {

namespace {

constexpr char kArpFile[] = "/proc/net/arp";

// Time that one map may spend on reverse lookups for all its neighbours: a
// resolver that does not answer must not hold one of the two worker threads
// for the resolver's full time-out on every ARP line.
constexpr std::chrono::seconds kLookupBudget(4);

struct IfaddrsDeleter {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

// Numeric form of an IPv4 socket address; false when getnameinfo fails.
bool numericHost(const sockaddr* address, char (&host)[NI_MAXHOST]) {
  return address != nullptr && getnameinfo(address, sizeof(sockaddr_in), host, NI_MAXHOST, nullptr,
                                           0, NI_NUMERICHOST) == 0;
}

// Official name of `address` from the system resolver, or "".
std::string officialName(in_addr address) {
  std::vector<char> buffer(1024);
  hostent entry{};
  hostent* found = nullptr;
  int error = 0;
  while (gethostbyaddr_r(&address, sizeof(address), AF_INET, &entry, buffer.data(), buffer.size(),
                         &found, &error) == ERANGE &&
         buffer.size() < 65536) {
    buffer.resize(buffer.size() * 2);
  }
  return found != nullptr && found->h_name != nullptr ? found->h_name : "";
}

// Length of the valid UTF-8 sequence that starts at `text[i]`, or 0 when the
// bytes there are not one (stray continuation, overlong form, surrogate, cut short).
size_t validUtf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = i + 2; k < i + length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  }
  return length;
}

// Appends `value` as the inside of a JSON string. Names come from reverse DNS,
// which whoever controls an address's PTR record can fill with anything.
void appendEscaped(std::string& out, const std::string& value) {
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const size_t length = validUtf8Length(value, i);
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(value, i, length);
        i += length;
      }
      continue;
    }
    ++i;
    if (json_layout::appendShortEscape(out, static_cast<char>(c))) continue;
    if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
}

// One member line: `opening` (indentation, key and opening quote), the
// value, then `closing` (closing quote, comma if any, line feed).
void appendMember(std::string& out, const char* opening, const std::string& value,
                  const char* closing) {
  out += opening;
  appendEscaped(out, value);
  out += closing;
}

}  // namespace

std::vector<InterfaceInfo> interfacesFromAddresses(const ifaddrs* list) {
  std::vector<InterfaceInfo> interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_name == nullptr) continue;
    if (std::strcmp(entry->ifa_name, "lo") == 0) continue;
    if (entry->ifa_addr->sa_family != AF_INET) continue;
    char address[NI_MAXHOST];
    char netmask[NI_MAXHOST];
    if (!numericHost(entry->ifa_addr, address) || !numericHost(entry->ifa_netmask, netmask)) {
      perror("getnameinfo");
      logging::alert("getNetworkInterfaces:Error getting device name");
      continue;
    }
    interfaces.push_back(InterfaceInfo{entry->ifa_name, address, netmask, {}});
  }
  return interfaces;
}

std::vector<InterfaceInfo> getNetworkInterfaces() {
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) == -1) {
    perror("getifaddrs");
    logging::alert("Error getting net interfaces");
    return {};
  }
  std::unique_ptr<ifaddrs, IfaddrsDeleter> list(raw);
  return interfacesFromAddresses(list.get());
}

std::optional<std::string> resultWithin(std::function<std::string()> task,
                                        std::chrono::steady_clock::time_point deadline) {
  // Shared with the thread, which may outlive this call and set it later.
  auto promise = std::make_shared<std::promise<std::string>>();
  std::future<std::string> result = promise->get_future();
  try {
    std::thread([promise, task = std::move(task)] {
      try {
        promise->set_value(task());
      } catch (...) {
        promise->set_exception(std::current_exception());
      }
    }).detach();
  } catch (const std::system_error& e) {
    logging::alert("Cannot start a lookup thread: %s", e.what());
    return std::nullopt;
  }
  if (result.wait_until(deadline) != std::future_status::ready) return std::nullopt;
  return result.get();
}

std::string lookupHostName(const std::string& ip, std::chrono::steady_clock::time_point deadline) {
  in_addr address{};
  if (inet_aton(ip.c_str(), &address) == 0) return "";
  return resultWithin([address] { return officialName(address); }, deadline).value_or("");
}

ArpTable parseARPTable(const std::string& text, const HostNameLookup& lookup) {
  ArpTable table;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // column header
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string ip, hardwareType, flags, mac, mask, device;
    if (!(words >> ip >> hardwareType >> flags >> mac >> mask >> device)) continue;
    std::string hostname = lookup(ip);
    table[device].push_back(DeviceInfo{std::move(ip), std::move(hostname), std::move(mac)});
  }
  return table;
}

ArpTable getARPEntries() {
  std::ifstream file(kArpFile);
  if (!file) {
    logging::errorLine(std::string("Cannot open ") + kArpFile);
    return {};
  }
  std::stringstream text;
  text << file.rdbuf();
  const auto deadline = std::chrono::steady_clock::now() + kLookupBudget;
  return parseARPTable(text.str(), [deadline](const std::string& ip) {
    if (!build_settings::kReverseDns) return std::string();
    return std::chrono::steady_clock::now() < deadline ? lookupHostName(ip, deadline) : "";
  });
}

std::string get_net_map(std::vector<InterfaceInfo> interfaces, const ArpTable& table) {
  for (InterfaceInfo& interface : interfaces) {
    const auto found = table.find(interface.interface);
    if (found != table.end()) interface.devices = found->second;
  }

  std::string text = "[\n";
  for (size_t i = 0; i < interfaces.size(); ++i) {
    const InterfaceInfo& interface = interfaces[i];
    text += "  {\n";
    appendMember(text, "    \"interface\": \"", interface.interface, "\",\n");
    appendMember(text, "    \"ip\": \"", interface.ip, "\",\n");
    appendMember(text, "    \"netmask\": \"", interface.netmask, "\",\n");
    text += "    \"devices\": [\n";
    for (size_t d = 0; d < interface.devices.size(); ++d) {
      const DeviceInfo& device = interface.devices[d];
      text += "      {\n";
      appendMember(text, "        \"ip\": \"", device.ip, "\",\n");
      appendMember(text, "        \"hostname\": \"", device.hostname, "\",\n");
      appendMember(text, "        \"mac\": \"", device.mac, "\"\n");
      text += "      }";
      if (d + 1 < interface.devices.size()) text += ",";
      text += "\n";
    }
    text += "    ]\n";
    text += "  }";
    if (i + 1 < interfaces.size()) text += ",";
    text += "\n";
  }
  text += "]\n";
  return text;
}

std::string get_net_map() { return get_net_map(getNetworkInterfaces(), getARPEntries()); }

std::string getNetworkMap() {
  std::string map = get_net_map();
  if (map.empty()) {
    logging::alert("Error getting net data");
    throw NetException("Failed to get net map.");
  }
  return map;
}

}  // namespace net
