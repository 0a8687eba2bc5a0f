// The one handler of every OPTIONS route: the browser's preflight before a
// POST or DELETE from the front end's origin.
#ifndef HTTP_PREFLIGHT_H_
#define HTTP_PREFLIGHT_H_

#include <pistache/http.h>
#include <pistache/router.h>

// Answers 200 with an empty body, no content type and the Rules header set,
// whatever the path; the request itself is not looked at.
void handlePreflightRequest(const Pistache::Rest::Request& request,
                            Pistache::Http::ResponseWriter response);

#endif  // HTTP_PREFLIGHT_H_
