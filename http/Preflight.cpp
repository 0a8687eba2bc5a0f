// Preflight handler shared by every OPTIONS route.
#include "http/Preflight.h"

#include "http/Frame.h"

void handlePreflightRequest(const Pistache::Rest::Request& request,
                            Pistache::Http::ResponseWriter response) {
  http::serve({http::Cors::kRules}, request, response,
              [](const Pistache::Rest::Request&) { return http::text(""); });
}
