// Floors of the benchmark, measured with hiredis and simdjson.
#include "Floors.h"

#include <hiredis/hiredis.h>
#include <simdjson.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {

int g_port = 0;

struct ContextFree {
  void operator()(redisContext* context) const { redisFree(context); }
};
struct ReplyFree {
  void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using Context = std::unique_ptr<redisContext, ContextFree>;
using Reply = std::unique_ptr<redisReply, ReplyFree>;

Context connectWithLockCheck() {
  Context context(redisConnect("127.0.0.1", g_port));
  if (!context || context->err) throw std::runtime_error("floor: cannot connect to Redis");
  Reply lock(static_cast<redisReply*>(redisCommand(context.get(), "GET lock:ferryd")));
  if (!lock || lock->type != REDIS_REPLY_NIL) throw std::runtime_error("floor: lock held");
  return context;
}

Reply command(redisContext* context, const char* format, const std::string& key) {
  Reply reply(static_cast<redisReply*>(redisCommand(context, format, key.c_str())));
  if (!reply || reply->type == REDIS_REPLY_ERROR) {
    throw std::runtime_error("floor: command failed on " + key);
  }
  return reply;
}

}  // namespace

void setFloorPort(int port) { g_port = port; }

void floorRange(const std::string& key, int start, int stop) {
  const Context context = connectWithLockCheck();
  Reply reply(static_cast<redisReply*>(
      redisCommand(context.get(), "LRANGE %s %d %d", key.c_str(), start, stop)));
  if (!reply || reply->type != REDIS_REPLY_ARRAY) throw std::runtime_error("floor: LRANGE");
}

void floorCount(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    const Context context = connectWithLockCheck();
    command(context.get(), "LLEN %s", key);
  }
}

void floorParse(const std::vector<std::string>& keys) {
  simdjson::dom::parser parser;
  for (const std::string& key : keys) {
    Reply reply;
    {
      const Context context = connectWithLockCheck();
      reply = command(context.get(), "LRANGE %s 0 -1", key);
    }
    for (size_t i = 0; i < reply->elements; ++i) {
      const redisReply* element = reply->element[i];
      simdjson::dom::element document;
      if (parser.parse(element->str, element->len).get(document) != simdjson::SUCCESS) {
        throw std::runtime_error("floor: element of " + key + " is not JSON");
      }
    }
  }
}

std::vector<std::string> listKeys() {
  const Context context = connectWithLockCheck();
  const Reply keys = command(context.get(), "KEYS %s", "*");
  std::vector<std::string> lists;
  for (size_t i = 0; i < keys->elements; ++i) {
    const std::string key = keys->element[i]->str;
    const Reply type = command(context.get(), "TYPE %s", key);
    if (std::string(type->str) == "list") lists.push_back(key);
  }
  return lists;
}

long long listLength(const std::string& key) {
  const Context context = connectWithLockCheck();
  return command(context.get(), "LLEN %s", key)->integer;
}

std::string flowIdAt(const std::string& key, long long index) {
  const Context context = connectWithLockCheck();
  Reply reply(
      static_cast<redisReply*>(redisCommand(context.get(), "LINDEX %s %lld", key.c_str(), index)));
  if (!reply || reply->type != REDIS_REPLY_STRING) throw std::runtime_error("floor: LINDEX");
  simdjson::dom::parser parser;
  uint64_t flow = 0;
  if (parser.parse(reply->str, reply->len)["flow_id"].get(flow) != simdjson::SUCCESS) {
    throw std::runtime_error("floor: no flow_id in " + key);
  }
  return std::to_string(flow);
}

long peakResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string word;
  while (status >> word) {
    if (word == "VmHWM:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

}  // namespace bench
