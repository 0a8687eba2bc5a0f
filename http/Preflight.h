// The browser's preflight: the one handler of every OPTIONS route (before a
// POST or DELETE from the front end's origin), and the answer to an OPTIONS
// on any path when every request needs the token.
#ifndef HTTP_PREFLIGHT_H_
#define HTTP_PREFLIGHT_H_

#include "http/Access.h"
#include "http/Frame.h"

namespace http {

// Answers 200 with an empty body, no content type and the Rules header set,
// whatever the path; the request itself is not looked at.
Handler preflight();

// The body of preflight(): the route table's tests tell its rows by it.
Reply preflightBody(const Request& request);

// The preflight of any path, reads included, for the server to answer
// every OPTIONS request itself while a token is required (a browser
// preflights every request that carries "Authorization"): 200 with an empty
// body and the Rules header set, or the refusal of another origin (403).
Reply answerPreflight(const Request& request, const access::Settings& settings);

}  // namespace http

#endif  // HTTP_PREFLIGHT_H_
