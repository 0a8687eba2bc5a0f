// One event flattened into strings, for the parameter filter of the event routes.
#ifndef EVENTS_EVENTITEM_H_
#define EVENTS_EVENTITEM_H_

#include <json/value.h>

#include <string>

// Each member holds the text form of the eve member of that name: strings
// unchanged, numbers as decimal digits, booleans as true/false, absent or
// null as "". Eve records name their type "event_type", so `type` stays
// empty for them.
struct EventItem {
  std::string raw;  // the complete JSON text parsed
  std::string type;
  std::string proto;
  std::string src_ip;
  std::string dest_ip;
  std::string src_port;
  std::string dest_port;
  std::string timestamp;
  std::string flow_id;

  // Fills this record from `text` (comments allowed) and returns it.
  // Throws EventsException "Error parsing the string" when `text` is not JSON.
  EventItem& parse(const std::string& text);

  // Fills every member but `raw` from an event already parsed; a value that
  // is no JSON object leaves them all empty. Returns this record.
  EventItem& fill(const Json::Value& event);
};

#endif  // EVENTS_EVENTITEM_H_
