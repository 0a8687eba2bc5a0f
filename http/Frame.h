// The one frame of every route: what a route's body is, how the frame treats
// its requests, and where it runs. A route body is a plain function of the
// owned request to a reply; it reads like its route:
//
//   http::Handler Events::HandlegetEventsCountByType() {
//     return {kPage, [](const http::Request& r) {
//       return http::text(std::to_string(events::getEventsCountByType(typeOf(r))));
//     }};
//   }
//
// The route table (server/Routes.cpp) pairs each handler with its route's
// kind; the endpoint (http/Endpoint.h) serves it.
#ifndef HTTP_FRAME_H_
#define HTTP_FRAME_H_

#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "http/Access.h"
#include "http/Audit.h"
#include "http/Cors.h"
#include "http/Exchange.h"
#include "http/Reply.h"
#include "http/Request.h"
#include "http/Status.h"

namespace http {

// Thrown by a body to answer with its own status and plain text: a refused
// parameter or body. The frame replies it as it stands, whatever the route's
// error mapping.
class Refusal : public std::runtime_error {
 public:
  Refusal(Status code, const std::string& text) : std::runtime_error(text), code_(code) {}
  Status code() const { return code_; }

 private:
  Status code_;
};

// Turns what a body threw into the route's error reply.
using ErrorReply = Reply (*)(const std::exception& error);

// 500 with the error's text and no content type: the mapping of most routes.
Reply errorText(const std::exception& error);

// Where a body runs. The HTTP threads only parse requests, run cheap bodies
// and send replies, so that one slow request never holds up the others.
enum class Work {
  // On the HTTP thread: pages, counts, rule queries, the histogram.
  kCheap,
  // A whole-list scan: on a pool of as many threads as cores, at a lower
  // scheduling priority than the HTTP threads.
  kScan,
  // Waits on an outside command, a download or a lock: on the slow pool.
  kSlow,
  // Reads the event lists: on the Redis pool, so that no HTTP thread ever
  // waits on Redis.
  kRedis,
};

// Whether a body may wait for the companion daemon's "lock:ferryd" (every
// body that reads the event lists through common/RedisWrapper.h).
enum class LockWait {
  kNever,
  // A Redis or scan body of this kind runs where its Work says only while
  // the lock is free: the frame asks once, without waiting, before the body
  // runs, and moves the request to the slow pool when the lock is held. The
  // body's first lock check takes that answer as its own.
  kMay,
  // As kMay, for a body that only reads the lists (and logs): the frame's
  // check is left to the body's first, which goes to Redis in the same write
  // as its first read (redis_lock::FirstCheck), a round trip less. When the
  // lock is held the body stops there, its reply is dropped, and it runs
  // again on the slow pool, where it waits.
  kMayAtFirstRead,
};

// Where a route's body runs, as its row in the route table says.
struct RouteKind {
  Work work = Work::kCheap;
  LockWait lock = LockWait::kNever;
};

// The subject of the routes that act on no one thing (start, stop, reloads).
std::string noSubject(const Request& request);

// How the frame treats one handler's requests.
struct Frame {
  Cors cors;
  ErrorReply onError = &errorText;
  // Set on the routes that change state: each of their requests is written
  // to the audit trail with its subject and status when its reply is sent.
  audit::Subject audit = nullptr;
};

// A handler's work: reads the request, calls its data operations, and returns
// the reply. It gets the request as an argument (owned by the frame for as
// long as the body runs) and keeps no reference to it.
using Body = std::function<Reply(const Request& request)>;

// One route's handler: its frame and its body.
struct Handler {
  Frame frame;
  Body body;
};

// What `handler` answers to `request`, run on the calling thread: its body's
// reply, or, for what the body throws, a Refusal's own reply, 503 with
// Retry-After for an Unavailable, 500 with its text for a SymbolicLinkError
// (common/NoFollow.h), and `handler.frame.onError` of any other exception.
// Nothing escapes. The frame serves every request through it; the route
// tests call it without a server.
Reply replyOf(const Handler& handler, const Request& request);

// ---- Work that no request started ----------------------------------------------

// Queues `job` on the slow pool beside the slow requests: the server's own
// scheduled work (the feed refresh). False when the pool's queue is full;
// `job` then does not run. Never blocks.
bool runOnSlowPool(std::function<void()> job);

// ---- Serving one request ------------------------------------------------------

// Adds the headers of `handler.frame.cors` to its reply, refuses a request
// from another origin or without the token (judged against `access`, the
// settings read for this request) before anything
// of it runs, runs the handler's body where `kind` says, and answers on
// `exchange` (replyOf): at once for a cheap body, and for a pooled one once
// the pool has run it, the connection waiting meanwhile. A pool whose queue
// is full answers 503 with Retry-After at once, and nothing of the request
// runs. Counts the request for the metrics under its pattern, and writes
// the audit line of an audited route. Nothing escapes. May move from
// `request`.
void serve(RouteKind kind, const Handler& handler, const access::Settings& access, Request& request,
           Exchange& exchange);

// ---- The server's stop ------------------------------------------------------

// From now on every new request is answered 503 "The server is stopping".
void refuseNewRequests();

}  // namespace http

#endif  // HTTP_FRAME_H_
