// The address history: list keys from the configuration, source addresses
// from the Redis lists, and the document written from them.
#include "net/AddressHistory.h"

#include <arpa/inet.h>
#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <libconfig.h++>
#include <memory>
#include <optional>
#include <string_view>

#include "common/Configuration.h"
#include "common/FastEvent.h"
#include "common/ListSlices.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"

namespace net {

namespace {

// The one address that a sensor reports for "no address"; never listed.
constexpr char kUnspecifiedAddress[] = "0.0.0.0";

bool isDottedIpv4(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Only a dotted IPv4 text counts: an IPv6 address, an empty or null value,
// a number or an object is no address of this history.
void addIfDottedIpv4(std::string address, std::set<std::string>& addresses) {
  if (isDottedIpv4(address)) addresses.insert(std::move(address));
}

}  // namespace

std::vector<std::string> readStatisticalEvents(const std::string& path) {
  std::vector<std::string> keys;
  try {
    libconfig::Config cfg;
    cfg.readFile(path.c_str());
    const libconfig::Setting& events =
        cfg.getRoot()["application"]["settings"]["statistical_events"];
    if (!events.isList()) {
      throw std::runtime_error(
          "Expected 'statistical_events' to be an array in configuration file");
    }
    for (int i = 0; i < events.getLength(); ++i) {
      keys.push_back(events[i].operator std::string());
    }
  } catch (const libconfig::FileIOException&) {
    logging::errorLine("I/O error while reading file.");
  } catch (const libconfig::ParseException& e) {
    logging::errorLine("Parse error at " +
                       std::string(e.getFile() != nullptr ? e.getFile() : path) + ":" +
                       std::to_string(e.getLine()) + " - " + e.getError());
  } catch (const libconfig::SettingNotFoundException& e) {
    logging::errorLine(std::string("Setting not found: ") + e.getPath());
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error: ") + e.what());
  }
  return keys;
}

void addSourceIpv4(Json::CharReader& reader, const char* begin, const char* end,
                   std::set<std::string>& addresses) {
  Json::Value event;
  std::string errors;
  try {
    if (!reader.parse(begin, end, &event, &errors)) {
      logging::errorLine("Error parsing JSON: " + errors);
      return;
    }
  } catch (const Json::Exception& e) {  // nesting past the reader's depth limit
    logging::errorLine(std::string("Error processing event: ") + e.what());
    return;
  }
  if (!event.isObject()) return;
  const Json::Value* source = event.find("src_ip", "src_ip" + 6);
  if (source != nullptr && source->isString()) addIfDottedIpv4(source->asString(), addresses);
}

std::set<std::string> get_unique_ipv4(RedisWrapper& redis, const std::vector<std::string>& keys) {
  std::set<std::string> addresses;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  fast_event::Parser fast;
  for (const std::string& key : keys) {
    list_slices::walkWithLock(redis, key, 0, -1, [&](const redisReply* reply) {
      if (!reply || reply->type != redis_type::kArray) {
        logging::errorLine("Error executing LRANGE for key: " + key);
        return false;
      }
      for (size_t i = 0; i < reply->elements; ++i) {
        const redisReply* element = reply->element[i];
        if (element->str == nullptr) continue;
        // simdjson settles every element it accepts; jsoncpp reads (and
        // reports) the rest.
        if (fast.parse(element->str, element->len)) {
          const std::optional<std::string_view> source =
              fast_event::string(fast_event::find(fast.root(), {"src_ip"}));
          if (source) addIfDottedIpv4(std::string(*source), addresses);
          continue;
        }
        addSourceIpv4(*reader, element->str, element->str + element->len, addresses);
      }
      return true;
    });
  }
  return addresses;
}

std::string process_events_and_output(RedisWrapper& redis, const std::string& configPath) {
  const std::set<std::string> addresses = get_unique_ipv4(redis, readStatisticalEvents(configPath));
  Json::Value document;
  for (const std::string& address : addresses) {
    if (address != kUnspecifiedAddress) document["unique_ips"].append(address);
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "    ";
  return Json::writeString(writer, document);
}

std::string process_events_and_output(RedisWrapper& redis) {
  return process_events_and_output(redis, config::path());
}

std::string getHistoricalNetworkMap() {
  try {
    RedisWrapper redis;
    return process_events_and_output(redis);
  } catch (const std::exception&) {
    logging::alert("Error getting net history data");
    throw NetException("Failed to get historical net data.");
  }
}

}  // namespace net
