// The network map text on given interfaces and neighbours, the ARP table
// parser, the interface filter over hand-built getifaddrs lists, and the
// bounded reverse lookup.
#include "net/NetDiscovery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <json/json.h>
#include <netinet/in.h>

#include <cstring>
#include <future>
#include <map>
#include <memory>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const DeviceInfo kRouter{"192.168.1.1", "router.lan", "00:11:22:33:44:55"};
const DeviceInfo kPrinter{"192.168.1.20", "", "00:00:00:00:00:00"};
const DeviceInfo kPhone{"10.0.0.7", "phone", "aa:bb:cc:dd:ee:ff"};

TEST(NetMapTest, LayoutOnGivenInterfacesAndNeighbours) {
  struct Case {
    const char* name;
    std::vector<InterfaceInfo> interfaces;
    ArpTable table;
    const char* expected;
  };
  const Case cases[] = {
      {"no interface", {}, {{"eth0", {kRouter}}}, "[\n]\n"},
      {"interface without neighbours",
       {{"eth0", "192.168.1.10", "255.255.255.0", {}}},
       {{"docker0", {kPhone}}},
       R"([
  {
    "interface": "eth0",
    "ip": "192.168.1.10",
    "netmask": "255.255.255.0",
    "devices": [
    ]
  }
]
)"},
      {"one interface with one neighbour",
       {{"eth0", "192.168.1.10", "255.255.255.0", {}}},
       {{"eth0", {kRouter}}},
       R"([
  {
    "interface": "eth0",
    "ip": "192.168.1.10",
    "netmask": "255.255.255.0",
    "devices": [
      {
        "ip": "192.168.1.1",
        "hostname": "router.lan",
        "mac": "00:11:22:33:44:55"
      }
    ]
  }
]
)"},
      {"several of each, an unknown device left out",
       {{"eth0", "192.168.1.10", "255.255.255.0", {}}, {"wlan0", "10.0.0.2", "255.0.0.0", {}}},
       {{"docker0", {kRouter}}, {"eth0", {kRouter, kPrinter}}, {"wlan0", {kPhone}}},
       R"([
  {
    "interface": "eth0",
    "ip": "192.168.1.10",
    "netmask": "255.255.255.0",
    "devices": [
      {
        "ip": "192.168.1.1",
        "hostname": "router.lan",
        "mac": "00:11:22:33:44:55"
      },
      {
        "ip": "192.168.1.20",
        "hostname": "",
        "mac": "00:00:00:00:00:00"
      }
    ]
  },
  {
    "interface": "wlan0",
    "ip": "10.0.0.2",
    "netmask": "255.0.0.0",
    "devices": [
      {
        "ip": "10.0.0.7",
        "hostname": "phone",
        "mac": "aa:bb:cc:dd:ee:ff"
      }
    ]
  }
]
)"},
      {"two addresses on one interface get the same neighbours",
       {{"eth0", "192.168.1.10", "255.255.255.0", {}},
        {"eth0", "192.168.2.10", "255.255.255.0", {}}},
       {{"eth0", {kPhone}}},
       R"([
  {
    "interface": "eth0",
    "ip": "192.168.1.10",
    "netmask": "255.255.255.0",
    "devices": [
      {
        "ip": "10.0.0.7",
        "hostname": "phone",
        "mac": "aa:bb:cc:dd:ee:ff"
      }
    ]
  },
  {
    "interface": "eth0",
    "ip": "192.168.2.10",
    "netmask": "255.255.255.0",
    "devices": [
      {
        "ip": "10.0.0.7",
        "hostname": "phone",
        "mac": "aa:bb:cc:dd:ee:ff"
      }
    ]
  }
]
)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(net::get_net_map(c.interfaces, c.table), c.expected);
  }
}

// A neighbour's name comes from its PTR record, which whoever controls that
// address can fill with quotes, backslashes and control characters; written
// as they are, they broke the JSON of the whole map.
TEST(NetMapTest, HostNamesAreEscapedSoTheMapStaysJson) {
  struct Case {
    std::string hostname;
    std::string written;  // between the quotes of the "hostname" line
  };
  const Case cases[] = {
      {"a\"b", R"(a\"b)"},
      {"back\\slash", R"(back\\slash)"},
      {"\"},{\"ip\":\"6.6.6.6", R"(\"},{\"ip\":\"6.6.6.6)"},
      {"tab\tnl\ncr\r", R"(tab\tnl\ncr\r)"},
      {std::string("nul\0bel\x07"
                   "esc\x1b",
                   12),
       R"(nul\u0000bel\u0007esc\u001b)"},
      {"caf\xc3\xa9-\xe2\x82\xac", "caf\xc3\xa9-\xe2\x82\xac"},  // valid UTF-8 kept as is
      {"bad\xff"
       "cut\xc3",
       R"(bad\ufffdcut\ufffd)"},
      {"over\xc0\xaflong", R"(over\ufffd\ufffdlong)"},
      {"surrogate\xed\xa0\x80", R"(surrogate\ufffd\ufffd\ufffd)"},
      {"slash/del\x7f", "slash/del\x7f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    const std::string map =
        net::get_net_map({{"eth0", "192.168.1.10", "255.255.255.0", {}}},
                         {{"eth0", {{"192.168.1.1", c.hostname, "00:11:22:33:44:55"}}}});
    EXPECT_NE(map.find("        \"hostname\": \"" + c.written + "\",\n"), std::string::npos) << map;

    Json::Value parsed;
    std::string errors;
    Json::CharReaderBuilder strict;
    Json::CharReaderBuilder::strictMode(&strict.settings_);
    std::unique_ptr<Json::CharReader> reader(strict.newCharReader());
    ASSERT_TRUE(reader->parse(map.data(), map.data() + map.size(), &parsed, &errors)) << errors;
    ASSERT_EQ(parsed.size(), 1u);
    ASSERT_EQ(parsed[0]["devices"].size(), 1u);
    if (c.written.find("\\ufffd") == std::string::npos) {
      EXPECT_EQ(parsed[0]["devices"][0]["hostname"].asString(), c.hostname);
    }
  }
}

TEST(ArpTableTest, ParsesEveryNeighbourUnderItsDevice) {
  const std::string text =
      "IP address       HW type     Flags       HW address            Mask     Device\n"
      "192.168.1.1      0x1         0x2         00:11:22:33:44:55     *        eth0\n"
      "10.0.0.7         0x1         0x2         aa:bb:cc:dd:ee:ff     *        wlan0\n"
      "192.168.1.20     0x1         0x0         00:00:00:00:00:00     *        eth0\n"
      "192.168.1.30     0x1         0x2         00:11:22:33:44:66     *\n"
      "\n";
  std::vector<std::string> asked;
  const ArpTable table = net::parseARPTable(text, [&](const std::string& ip) {
    asked.push_back(ip);
    return ip == "192.168.1.1" ? std::string("router.lan") : std::string();
  });

  EXPECT_EQ(asked, (std::vector<std::string>{"192.168.1.1", "10.0.0.7", "192.168.1.20"}));
  ASSERT_EQ(table.size(), 2u);
  const std::vector<DeviceInfo>& eth0 = table.at("eth0");
  ASSERT_EQ(eth0.size(), 2u);
  EXPECT_EQ(eth0[0].ip, "192.168.1.1");
  EXPECT_EQ(eth0[0].hostname, "router.lan");
  EXPECT_EQ(eth0[0].mac, "00:11:22:33:44:55");
  EXPECT_EQ(eth0[1].ip, "192.168.1.20");  // incomplete entry kept
  EXPECT_EQ(eth0[1].hostname, "");
  EXPECT_EQ(eth0[1].mac, "00:00:00:00:00:00");
  ASSERT_EQ(table.at("wlan0").size(), 1u);
  EXPECT_EQ(table.at("wlan0")[0].mac, "aa:bb:cc:dd:ee:ff");
}

TEST(ArpTableTest, HeaderOnlyOrEmptyTextHasNoNeighbours) {
  const auto never = [](const std::string& ip) -> std::string {
    ADD_FAILURE() << "looked up " << ip;
    return "";
  };
  EXPECT_TRUE(net::parseARPTable("", never).empty());
  EXPECT_TRUE(
      net::parseARPTable("IP address HW type Flags HW address Mask Device\n", never).empty());
}

// Nodes of a getifaddrs list built by hand, with the storage they point at.
class AddressList {
 public:
  AddressList& add(const char* name, int family, const char* address, const char* netmask) {
    auto node = std::make_unique<Node>();
    node->name = name;
    node->entry.ifa_name = node->name.data();
    if (address != nullptr) {
      node->entry.ifa_addr = fill(node->address, family, address);
    }
    if (netmask != nullptr) {
      node->entry.ifa_netmask = fill(node->netmask, family, netmask);
    }
    if (!nodes_.empty()) nodes_.back()->entry.ifa_next = &node->entry;
    nodes_.push_back(std::move(node));
    return *this;
  }
  const ifaddrs* head() const { return nodes_.empty() ? nullptr : &nodes_.front()->entry; }

 private:
  struct Node {
    ifaddrs entry{};
    std::string name;
    sockaddr_storage address{};
    sockaddr_storage netmask{};
  };
  static sockaddr* fill(sockaddr_storage& storage, int family, const char* text) {
    if (family == AF_INET) {
      auto* in = reinterpret_cast<sockaddr_in*>(&storage);
      in->sin_family = AF_INET;
      EXPECT_EQ(inet_pton(AF_INET, text, &in->sin_addr), 1) << text;
    } else {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
      in6->sin6_family = AF_INET6;
      EXPECT_EQ(inet_pton(AF_INET6, text, &in6->sin6_addr), 1) << text;
    }
    return reinterpret_cast<sockaddr*>(&storage);
  }
  std::vector<std::unique_ptr<Node>> nodes_;
};

TEST(InterfacesTest, KeepsIpv4EntriesExceptLoInListOrder) {
  AddressList list;
  list.add("lo", AF_INET, "127.0.0.1", "255.0.0.0")
      .add("eth0", AF_INET, "192.168.1.10", "255.255.255.0")
      .add("eth0", AF_INET6, "fe80::1", "ffff:ffff:ffff:ffff::")
      .add("wg0", AF_INET6, "fd00::2", "ffff:ffff:ffff:ffff::")
      .add("tun0", AF_INET, nullptr, nullptr)
      .add("eth1", AF_INET, "10.0.0.2", nullptr)
      .add("lo0", AF_INET, "127.0.0.2", "255.0.0.0")
      .add("lo:1", AF_INET, "127.0.0.3", "255.0.0.0")
      .add("eth0", AF_INET, "192.168.2.10", "255.255.0.0");

  const std::vector<InterfaceInfo> found = net::interfacesFromAddresses(list.head());
  const std::vector<std::vector<std::string>> expected = {
      {"eth0", "192.168.1.10", "255.255.255.0"},
      {"lo0", "127.0.0.2", "255.0.0.0"},
      {"lo:1", "127.0.0.3", "255.0.0.0"},
      {"eth0", "192.168.2.10", "255.255.0.0"},
  };
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ((std::vector<std::string>{found[i].interface, found[i].ip, found[i].netmask}),
              expected[i]);
    EXPECT_TRUE(found[i].devices.empty());
  }
  EXPECT_TRUE(net::interfacesFromAddresses(nullptr).empty());
}

TEST(InterfacesTest, RealHostListsNoLoopbackAndOnlyNumericIpv4) {
  for (const InterfaceInfo& interface : net::getNetworkInterfaces()) {
    SCOPED_TRACE(interface.interface);
    EXPECT_NE(interface.interface, "lo");
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, interface.ip.c_str(), &parsed), 1) << interface.ip;
    EXPECT_EQ(inet_pton(AF_INET, interface.netmask.c_str(), &parsed), 1) << interface.netmask;
  }
}

TEST(HostNameTest, InvalidAddressIsNotLookedUp) {
  const auto deadline = steady_clock::now() + milliseconds(2000);
  for (const char* ip : {"", "not-an-address", "1.2.3.4.5", "fe80::1"}) {
    EXPECT_EQ(net::lookupHostName(ip, deadline), "") << ip;
  }
}

TEST(HostNameTest, LoopbackIsNamedByTheHostsFile) {
  EXPECT_NE(net::lookupHostName("127.0.0.1", steady_clock::now() + milliseconds(2000)), "");
}

TEST(HostNameTest, LookupThatDoesNotAnswerInTimeGivesNothing) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  const auto deadline = steady_clock::now() + milliseconds(200);
  const std::optional<std::string> result = net::resultWithin(
      [released] {
        released.wait();
        return std::string("too late");
      },
      deadline);
  EXPECT_FALSE(result.has_value());
  EXPECT_GE(steady_clock::now(), deadline);
  EXPECT_LT(steady_clock::now(), deadline + milliseconds(1000));
  release.set_value();

  EXPECT_EQ(net::resultWithin([] { return std::string("in time"); },
                              steady_clock::now() + milliseconds(5000)),
            "in time");
}

}  // namespace
