// The one frame of every handler: the class's cross-origin headers first,
// then the handler's body, whatever it throws mapped to the reply its route's
// contract gives, and one reply sent. A handler reads like its route:
//
//   void Events::HandlegetEventsCountByType(const Request& request, ResponseWriter response) {
//     http::serve(http::Cors::kOriginOnly, request, response, [](const Request& r) {
//       return http::text(std::to_string(getEventsCountByType(http::pathParam(r, ":event_type"))));
//     });
//   }
#ifndef HTTP_FRAME_H_
#define HTTP_FRAME_H_

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include <pistache/http.h>
#include <pistache/router.h>

#include "http/Cors.h"
#include "http/Reply.h"

namespace http {

// Thrown by a body to answer with its own status and plain text: a refused
// parameter or body. The frame replies it as it stands, whatever the route's
// error mapping.
class Refusal : public std::runtime_error {
 public:
  Refusal(Pistache::Http::Code code, const std::string& text)
      : std::runtime_error(text), code_(code) {}
  Pistache::Http::Code code() const { return code_; }

 private:
  Pistache::Http::Code code_;
};

// Turns what a body threw into the route's error reply.
using ErrorReply = Reply (*)(const std::exception& error);

// 500 with the error's text and no content type: the mapping of most routes.
Reply errorText(const std::exception& error);

// A handler's work: reads the request, calls its data operations, and returns
// the reply. It gets the request as an argument and keeps no reference to it.
using Body = std::function<Reply(const Pistache::Rest::Request& request)>;

// Adds the headers of `cors`, runs `body`, and sends its reply; a Refusal
// becomes its own reply and any other exception goes through `onError`.
// Nothing escapes.
void serve(Cors cors, const Pistache::Rest::Request& request,
           Pistache::Http::ResponseWriter& response, const Body& body,
           ErrorReply onError = &errorText);

}  // namespace http

#endif  // HTTP_FRAME_H_
