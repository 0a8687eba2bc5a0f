// Checks shared by the tests of the event routes: their JSON and plain-text
// replies, and timestamps written the way Suricata writes them.
#ifndef TESTS_SUPPORT_EVENTREPLIES_H_
#define TESTS_SUPPORT_EVENTREPLIES_H_

#include <json/value.h>

#include <ctime>
#include <string>

#include "support/Harness.h"

namespace harness {

// `text` parsed as JSON; a test failure when it is not JSON.
Json::Value parseJson(const std::string& text);

// 200, application/json and the Events cross-origin header alone.
void expectEventsJson(const HttpReply& reply);

// `status` with `body` as plain text, no content type, and the Events
// cross-origin header.
void expectEventsText(const HttpReply& reply, long status, const std::string& body);

// `moment` in the host's local time, formatted with strftime's `format`.
std::string localText(time_t moment, const char* format);

// A Suricata timestamp for now plus `seconds` in local time, with a fraction
// and a zone offset after the seconds, which the server does not read.
std::string localStamp(long seconds);

}  // namespace harness

#endif  // TESTS_SUPPORT_EVENTREPLIES_H_
