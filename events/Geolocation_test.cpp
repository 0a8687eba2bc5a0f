// Private addresses, placeholder locations, and the shared city database:
// one handle per file, reopened when the file changes, kept alive while held.
#include "events/Geolocation.h"

#include <gtest/gtest.h>
#include <maxminddb.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "events/AlertMap.h"

namespace {

TEST(CheckPrivateIpTest, OnlyTheThreePrivateIpv4RangesArePrivate) {
  for (const char* ip : {"10.0.0.1", "10.255.255.255", "172.16.0.0", "172.31.255.255",
                         "192.168.0.1", "192.168.255.255", " 10.1.1.1", "10.+1.1.1",
                         // pieces read as std::stoi reads them
                         "10.-1.0.0", "10.1.1.1abc", "10.0x1.0.0"}) {
    EXPECT_TRUE(events::check_private_ip(ip)) << ip;
  }
  for (const char* ip : {"172.15.255.255",
                         "172.32.0.1",
                         "192.169.0.1",
                         "192.167.0.1",
                         "11.0.0.1",
                         "127.0.0.1",
                         "169.254.1.1",
                         "100.64.0.1",
                         "10.0.0.256",
                         "10.a.b.c",
                         "10.0.0",
                         "10.0.0.1.5",
                         "10.0.0.1.",
                         "",
                         "N/A",
                         "fd00::1",
                         "::ffff:10.0.0.1",
                         "99999999999.0.0.1",
                         "192.168",
                         "10..1.1",
                         "10. .1.1",
                         "-99999999999.0.0.1",
                         "10.2147483648.0.0"}) {
    EXPECT_FALSE(events::check_private_ip(ip)) << ip;
  }
}

TEST(GetGeolocationTest, PrivateAddressesGetTheSiteAndOthersPlaceholdersWithoutDatabase) {
  const GeoPoint site{"Russia", "Moscow", 55.75, 37.5};
  const Json::Value local = events::get_geolocation("192.168.1.1", nullptr, site);
  EXPECT_EQ(local["Country"], "Russia");
  EXPECT_EQ(local["City"], "Moscow");
  EXPECT_EQ(local["latitude"], 55.75);
  EXPECT_EQ(local["longitude"], 37.5);
  const Json::Value unknown = events::get_geolocation("8.8.8.8", nullptr, site);
  EXPECT_EQ(unknown["Country"], "Unknown");
  EXPECT_EQ(unknown["City"], "Unknown");
  EXPECT_EQ(unknown["latitude"], -85.0);
  EXPECT_EQ(unknown["longitude"], 0.0);
}

class GeoDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "geo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

  // Writes the test database `variant` to `name` in the scratch folder (in one rename).
  std::string write(const std::string& name, const std::string& variant) {
    const std::string script = std::string(PAVORA_SOURCE_DIR) + "/tests/support/make_test_mmdb.pl";
    const std::string path = folder_ + "/" + name;
    EXPECT_EQ(std::system(("perl '" + script + "' '" + path + "' " + variant).c_str()), 0);
    return path;
  }

  static std::string countryOf(const std::shared_ptr<const GeoDatabase>& database, const char* ip) {
    return events::get_geolocation(ip, database->handle(), GeoPoint{})["Country"].asString();
  }

  std::string folder_;
};

TEST_F(GeoDatabaseTest, OneHandlePerFileReopenedWhenTheFileChanges) {
  const std::string first = write("first.mmdb", "test");
  const std::string second = write("second.mmdb", "alt");
  const auto a = GeoDatabase::acquire(first);
  EXPECT_EQ(GeoDatabase::acquire(first), a);
  EXPECT_EQ(countryOf(a, "8.8.8.8"), "United States");

  const auto b = GeoDatabase::acquire(second);
  EXPECT_NE(b, a);
  EXPECT_EQ(countryOf(b, "8.8.8.8"), "Canada");
  // The first database stays open for whoever still holds it.
  EXPECT_EQ(countryOf(a, "8.8.8.8"), "United States");

  // A new file renamed over the configured path is opened afresh.
  write("second.mmdb", "test");
  const auto replaced = GeoDatabase::acquire(second);
  EXPECT_NE(replaced, b);
  EXPECT_EQ(countryOf(replaced, "8.8.8.8"), "United States");
  EXPECT_EQ(countryOf(b, "8.8.8.8"), "Canada");
}

TEST_F(GeoDatabaseTest, RecordsGiveWhatTheyHoldAndPlaceholdersForTheRest) {
  const auto database = GeoDatabase::acquire(write("city.mmdb", "test"));
  const GeoPoint site{"Here", "Home", 1.5, 2.5};
  struct Case {
    const char* ip;
    const char* country;
    const char* city;
    double latitude;
    double longitude;
  };
  const Case cases[] = {
      {"1.1.1.1", "Australia", "Sydney", -33.8688, 151.2093},
      {"2001:4860::8", "Germany", "Berlin", 52.52, 13.405},
      {"::1.1.1.1", "Australia", "Sydney", -33.8688, 151.2093},
      {"81.2.69.1", "United Kingdom", "Unknown", -85.0, 0.0},
      {"9.9.9.9", "Unknown", "Unknown", -85.0, 0.0},
      {"N/A", "Unknown", "Unknown", -85.0, 0.0},
      {"", "Unknown", "Unknown", -85.0, 0.0},
      {"172.20.0.1", "Here", "Home", 1.5, 2.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip);
    const Json::Value geo = events::get_geolocation(c.ip, database->handle(), site);
    EXPECT_EQ(geo["Country"], c.country);
    EXPECT_EQ(geo["City"], c.city);
    EXPECT_EQ(geo["latitude"], c.latitude);
    EXPECT_EQ(geo["longitude"], c.longitude);
  }
}

TEST_F(GeoDatabaseTest, AFileThatCannotBeOpenedFails) {
  const std::string text = folder_ + "/text.mmdb";
  std::FILE* file = std::fopen(text.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("not a database\n", file);
  std::fclose(file);
  for (const std::string& path : {folder_ + "/missing.mmdb", text, folder_}) {
    SCOPED_TRACE(path);
    try {
      GeoDatabase::acquire(path);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Cannot open GeoLite2");
    }
  }
}

}  // namespace
