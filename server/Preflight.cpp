// Preflight handler shared by every OPTIONS route.
#include "server/Preflight.h"

#include "server/Cors.h"

void handlePreflightRequest(const Pistache::Rest::Request&,
                            Pistache::Http::ResponseWriter response) {
  cors::addRulesSet(response);
  response.send(Pistache::Http::Code::Ok);
}
