// The scheduled feed refresh: every "ioc_refresh_hours" hours the server
// downloads the feed, rebuilds the indicator store from its last
// "ioc_refresh_days" days keeping the operator's switches, and writes the
// indicator rule files, as "/ioc/download/", "/ioc/filter/:n_days" and
// "/ioc/fetch/" do one after the other. It never reloads Suricata: the
// reload routes apply the new files, as after a manual generation.
//
// The schedule re-reads the configuration at every check (once a minute;
// more often in the test build, whose hour is shorter): a changed interval
// counts from the start of the last run, or from the server's start before
// the first, so the first run comes one interval after the start; a removed
// "ioc_refresh_hours" stops the runs (and forgets failures in a row, see
// common/FeedFreshness.h) until it is set again; keys that cannot be used
// are logged once at alert priority and nothing runs until they change.
// A run due while a manual download, rebuild or generation runs is skipped,
// logged, and tried again at the next check.
//
// Each run writes one log line (informational when it succeeded, alert
// naming the failed step otherwise), one audit line
// "Audit: scheduler RUN feed-refresh <200|500|503> days=N[ step=... reason=...]"
// (503: the server stopped it between steps), and its metrics.
#ifndef THREATS_FEEDREFRESH_H_
#define THREATS_FEEDREFRESH_H_

namespace feed_refresh {

// Starts the thread that checks the schedule and hands each due run to the
// slow-work pool. Called once by main, after the stop signals are blocked.
void start();

// From now on no run starts, and a run in progress ends after its current
// step (each step has its own time limit). For the server's stop.
void stop();

// True while a run is in progress, for the server's stop to wait on.
bool running();

}  // namespace feed_refresh

#endif  // THREATS_FEEDREFRESH_H_
