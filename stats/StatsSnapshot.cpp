// The statistics snapshot: the head entry of "stats" completed with the
// tallies over the event lists and the process's own memory.
#include "stats/StatsSnapshot.h"

#include <optional>
#include <string>
#include <tuple>

#include "stats/DirectRedis.h"
#include "stats/StatsItem.h"

namespace stats {

namespace {

// Text of the head entry of "stats"; nullopt when the list is empty or
// missing, or LLEN gives no integer. The connection closes on return.
std::optional<std::string> readHeadEntry() {
  const RedisContextPtr context = direct_redis::connect("getstats");
  const RedisReplyPtr length = direct_redis::command(context.get(), "LLEN %s", "stats");
  if (!length) throw StatsException("Error:  Couldn't execute redisCommand");
  if (length->type != redis_type::kInteger || static_cast<int32_t>(length->integer) <= 0) {
    return std::nullopt;
  }
  const RedisReplyPtr head = direct_redis::command(context.get(), "LRANGE %s %d %d", "stats", 0, 0);
  if (!head || head->type != redis_type::kArray) throw StatsException("Couldn't get key valuest ");
  // The daemon may have emptied the list since LLEN.
  if (head->elements == 0 || head->element[0]->str == nullptr) return std::nullopt;
  return std::string(head->element[0]->str, head->element[0]->len);
}

}  // namespace

Json::Value get_stats() {
  const std::optional<std::string> entry = readHeadEntry();
  if (!entry) return StatsItem().toJson();

  StatsItem item = StatsItem::parse(*entry);
  std::tie(item.dns_queries, item.dns_answers) = StatsItem::get_dns_statistic();
  const DhcpCounts dhcp = StatsItem::get_dhcp_statistic();
  item.dhcp_discovers = dhcp.discovers;
  item.dhcp_offers = dhcp.offers;
  item.dhcp_requests = dhcp.requests;
  item.dhcp_acks = dhcp.acks;
  item.dhcp_inform = dhcp.informs;
  item.tls_sessions = StatsItem::get_tls_sessions();
  item.http_requests = item.http_responses = StatsItem::get_http_sessions();
  StatsItem::mem_usage(item.memuse_virtual, item.memuse_resident);
  item.total_alerts = StatsItem::get_total_alerts();
  return item.toJson();
}

}  // namespace stats
