// The one frame of every handler: the class's cross-origin headers first,
// then the handler's body, run where its kind of work belongs, whatever it
// throws mapped to the reply its route's contract gives, and one reply sent.
// A handler reads like its route:
//
//   void Events::HandlegetEventsCountByType(const Request& request, ResponseWriter response) {
//     http::serve({http::Cors::kOriginOnly}, request, response, [](const Request& r) {
//       return http::text(std::to_string(events::getEventsCountByType(typeOf(r))));
//     });
//   }
#ifndef HTTP_FRAME_H_
#define HTTP_FRAME_H_

#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include <pistache/http.h>
#include <pistache/router.h>

#include "http/Audit.h"
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

// Where a body runs. The HTTP threads only parse requests, run cheap bodies
// and send replies, so that one slow request never holds up the others.
enum class Work {
  // On the HTTP thread: pages, counts, rule queries, the histogram. A body
  // that finds it would wait (a held lock) moves to the slow pool.
  kCheap,
  // A whole-list scan: on a pool of as many threads as cores, at a lower
  // scheduling priority than the HTTP threads.
  kScan,
  // Waits on an outside command, a download or a lock: on the slow pool.
  kSlow,
};

// The subject of the routes that act on no one thing (start, stop, reloads).
std::string noSubject(const Pistache::Rest::Request& request);

// How the frame treats one handler's requests.
struct Frame {
  Cors cors;
  Work work = Work::kCheap;
  ErrorReply onError = &errorText;
  // Set on the routes that change state: each of their requests is written
  // to the audit trail with its subject and status when its reply is sent.
  audit::Subject audit = nullptr;
};

// A handler's work: reads the request, calls its data operations, and returns
// the reply. It gets the request as an argument (a copy, when it runs on a
// pool) and keeps no reference to it.
using Body = std::function<Reply(const Pistache::Rest::Request& request)>;

// Adds the headers of `frame.cors`, refuses a request from another origin
// or without the token (http/Access.h) before anything of it runs, runs
// `body` where `frame.work` says, and sends its reply; a Refusal becomes its
// own reply, an Unavailable 503 with Retry-After, a SymbolicLinkError
// (common/NoFollow.h) 500 with its text naming the file, and any other exception
// goes through `frame.onError`. A pool whose queue is full answers 503 with
// Retry-After at once, and nothing of the request runs. Nothing escapes.
void serve(const Frame& frame, const Pistache::Rest::Request& request,
           Pistache::Http::ResponseWriter& response, const Body& body);

// The route pattern ("/events/:event_type") of the request being routed on
// the calling thread, for the metrics: the route table's binding sets it for
// the length of the handler's call. Patterns are literals that live as long
// as the process.
class RouteScope {
 public:
  explicit RouteScope(const char* pattern);
  ~RouteScope();
  RouteScope(const RouteScope&) = delete;
  RouteScope& operator=(const RouteScope&) = delete;

 private:
  const char* previous_;
};

// ---- Work that no request started ----------------------------------------------

// Queues `job` on the slow pool beside the slow requests: the server's own
// scheduled work (the feed refresh). False when the pool's queue is full;
// `job` then does not run. Never blocks.
bool runOnSlowPool(std::function<void()> job);

// ---- The server's stop ------------------------------------------------------

// Requests between their arrival in serve and their reply being sent.
size_t requestsInFlight();
// From now on every new request is answered 503 "The server is stopping".
void refuseNewRequests();

}  // namespace http

#endif  // HTTP_FRAME_H_
