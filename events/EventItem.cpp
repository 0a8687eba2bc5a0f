// Flattening of one event's JSON text.
#include "events/EventItem.h"

#include <utility>

#include "common/EventJson.h"
#include "common/Log.h"
#include "events/EventsException.h"

EventItem& EventItem::parse(const std::string& text) {
  Json::Value root;
  std::string error;
  if (!event_json::parse(*event_json::makeLenientReader(), text.data(), text.data() + text.size(),
                         root, error) ||
      !root.isObject()) {
    logging::alert("Error parsing the string");
    throw EventsException("Error parsing the string");
  }
  fill(root);
  raw = text;
  return *this;
}

EventItem& EventItem::fill(const Json::Value& event) {
  const std::pair<const char*, std::string*> members[] = {
      {"type", &type},           {"proto", &proto},       {"src_ip", &src_ip},
      {"dest_ip", &dest_ip},     {"src_port", &src_port}, {"dest_port", &dest_port},
      {"timestamp", &timestamp}, {"flow_id", &flow_id},
  };
  for (const auto& [name, field] : members) {
    *field = event_json::textForm(event_json::member(event, name));
  }
  return *this;
}
