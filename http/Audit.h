// The audit trail: one notice line for every request that changes state,
// written when its reply is sent, and one warning line for every request
// refused for its origin or its credentials. No line holds a token.
#ifndef HTTP_AUDIT_H_
#define HTTP_AUDIT_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "http/Request.h"

namespace http::audit {

// What the trail says of one request, taken when the request arrives: its
// body may run on a pool thread after the request itself is gone.
struct Entry {
  std::string peer;     // the client's address
  std::string method;   // "POST"
  std::string path;     // the request's path, without the query, escaped
  std::string subject;  // what the request acts on; "" when nothing in particular
};

// What a request that changes state acts on, for its audit line: a sid, a
// rule's first characters, an indicator uid ("" for nothing in particular).
// Reads only the request.
using Subject = std::string (*)(const Request& request);

// The entry of `request`, with the subject that `subject` reads from it; a
// subject that fails to read gives "subject=?".
Entry entryOf(const Request& request, Subject subject);

// Writes "Audit: <peer> <method> <path> <status>[ <subject>]" at notice priority.
void record(const Entry& entry, int status);

// Writes "Refused request from <peer>: <method> <path> <status> (<reason>)"
// at warning priority: the line the sample fail2ban filter matches.
void refused(const Request& request, int status, const char* reason);

// `text` cut after `limit` bytes, between double quotes, with backslashes,
// double quotes and control bytes escaped ("\n", "\x1b"), so that a subject
// can neither end its line nor fake another field.
std::string quoted(std::string_view text, size_t limit);

}  // namespace http::audit

#endif  // HTTP_AUDIT_H_
