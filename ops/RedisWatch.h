// Redis as /health reports it: watched from a thread of its own, so that a
// health check never waits on Redis, whatever Redis does.
#ifndef OPS_REDISWATCH_H_
#define OPS_REDISWATCH_H_

#include <string>

namespace ops::redis_watch {

// What state() reports while a PING has been unanswered for longer than
// kNoAnswerMilliseconds, and for a PING that timed out.
inline constexpr char kNoAnswer[] = "Redis did not answer PING within 1 s";
inline constexpr int kNoAnswerMilliseconds = 1000;
// Time from the start of one PING to the start of the next, and after a
// PING that failed.
inline constexpr int kPeriodMilliseconds = 500;
inline constexpr int kRetryMilliseconds = 50;
// The longest state() waits for a PING it asked for (see there).
inline constexpr int kRecheckMilliseconds = 100;

// Starts the watcher thread once; later calls do nothing. The thread keeps
// one connection to the local Redis (the build's port), sends PING on it
// every kPeriodMilliseconds (kRetryMilliseconds after a failure, at once when
// Redis closes the connection) and keeps the last outcome; a connection that
// fails is dropped and made again for the next PING. Never throws.
void start();

// Redis as last seen: "ok" when the last PING was answered with a status;
// kNoAnswer when one is outstanding past kNoAnswerMilliseconds or timed
// out; "Redis connection error: " and hiredis's text when no connection
// could be made or it broke; "Redis error: " and Redis's text for an error
// reply. Starts the watcher if needed. Before the watcher's first outcome it
// waits for it at most kNoAnswerMilliseconds; when the last PING failed and
// none is outstanding, it asks for one and waits for it at most
// kRecheckMilliseconds (a refused or answered PING takes far less), so that
// a Redis back up shows at once. Never waits otherwise; never throws.
std::string state();

}  // namespace ops::redis_watch

#endif  // OPS_REDISWATCH_H_
