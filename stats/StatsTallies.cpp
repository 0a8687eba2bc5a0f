// The snapshot's tallies over the event lists and the process's own memory:
// each tally opens its own direct connection and closes it before returning.
#include <json/reader.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/ListSlices.h"
#include "common/Log.h"
#include "stats/DirectRedis.h"
#include "stats/ProcStat.h"
#include "stats/StatsItem.h"

namespace {

// Walks the first LLEN entries of the list `key`, a slice at a time, and
// calls `count` with the string at <group>.<field> of every entry that has
// one. Entries that are not JSON objects (nesting past the reader's depth
// limit included), or lack the member, count for nothing; `restart` when the
// list changed length between slices and the walk starts again.
// Callers: get_dns_statistic, get_dhcp_statistic.
template <typename Count>
void tallyByType(const char* who, const char* key, const char* group, const char* field,
                 Count count, const list_slices::Restart& restart) {
  const RedisContextPtr context = direct_redis::connect(who);
  const std::optional<int32_t> length = direct_redis::listLength(context.get(), key);
  if (!length) throw StatsException("Error:  Couldn't execute redisCommand");

  const std::unique_ptr<Json::CharReader> reader = event_json::makeReader();
  fast_event::Parser fast;
  Json::Value entry;
  std::string error;
  size_t left = static_cast<size_t>(std::max(*length, 0));
  const list_slices::Fetch fetch = [&](long long start, long long stop) {
    return direct_redis::command(context.get(), "LRANGE %s %lld %lld", key, start, stop);
  };
  const list_slices::Length lengthNow = [&]() -> long long {
    return direct_redis::listLength(context.get(), key).value_or(-1);
  };
  const list_slices::Restart startAgain = [&] {
    left = static_cast<size_t>(std::max(*length, 0));
    restart();
  };
  // An empty list still gets its LRANGE: a key of another type fails there.
  list_slices::walk(
      fetch, 0, static_cast<long long>(*length) - 1,
      [&](const redisReply* range) {
        if (!range || range->type != redis_type::kArray) {
          logging::alert("Couldn't get key valuest ");
          throw StatsException("Couldn't get key valuest ");
        }
        for (size_t i = 0; i < range->elements && left > 0; ++i, --left) {
          const redisReply* element = range->element[i];
          if (element->str == nullptr) continue;
          if (fast.parse(element->str, element->len)) {
            const std::optional<std::string_view> type =
                fast_event::string(fast_event::find(fast.root(), {group, field}));
            if (type) count(*type);
            continue;
          }
          if (!event_json::parse(*reader, element->str, element->str + element->len, entry,
                                 error) ||
              !entry.isObject()) {
            continue;
          }
          const Json::Value& members = entry[group];
          if (!members.isObject()) continue;
          const Json::Value& type = members[field];
          if (type.isString()) count(type.asString());
        }
        return left > 0;
      },
      list_slices::kSliceLength, lengthNow, startAgain);
}

// "LLEN key" on a connection of its own; 0 when no integer comes back.
// Callers: get_http_sessions, get_tls_sessions, get_total_alerts.
int64_t countList(const char* who, const char* key) {
  const RedisContextPtr context = direct_redis::connect(who);
  return direct_redis::listLength(context.get(), key).value_or(0);
}

}  // namespace

std::pair<int64_t, int64_t> StatsItem::get_dns_statistic() {
  std::pair<int64_t, int64_t> tally{0, 0};
  tallyByType(
      "getstats", "dns", "dns", "type",
      [&](std::string_view type) {
        if (type == "query") ++tally.first;
        if (type == "answer") ++tally.second;
      },
      [&] {
        tally = {0, 0};
      });
  return tally;
}

DhcpCounts StatsItem::get_dhcp_statistic() {
  DhcpCounts tally;
  tallyByType(
      "getstats dhcp", "dhcp", "dhcp", "dhcp_type",
      [&](std::string_view type) {
        if (type == "discover") ++tally.discovers;
        if (type == "offer") ++tally.offers;
        if (type == "request") ++tally.requests;
        if (type == "ack") ++tally.acks;
        if (type == "inform") ++tally.informs;
      },
      [&] { tally = DhcpCounts(); });
  return tally;
}

int64_t StatsItem::get_http_sessions() { return countList("getstats http", "http"); }
int64_t StatsItem::get_tls_sessions() { return countList("getstats tls", "tls"); }
int64_t StatsItem::get_total_alerts() { return countList("getstats alerts total", "alert"); }

void StatsItem::mem_usage(double& virtualKiB, double& residentKiB) {
  const proc_stat::MemoryUsage usage = proc_stat::readSelf();
  virtualKiB = usage.virtualKiB;
  residentKiB = usage.residentKiB;
}
