// How fresh the scheduled feed refresh keeps the indicators: the outcome of
// its runs, for /metrics and for /health's "feed" member.
#ifndef COMMON_FEEDFRESHNESS_H_
#define COMMON_FEEDFRESHNESS_H_

namespace feed_freshness {

// Failed runs in a row after which /health reports the feed stale.
inline constexpr int kStaleAfterFailures = 3;

// A scheduled run ended after `seconds`: the metrics take its duration, the
// time of a success or one more failure, and the count of failures in a row
// goes to 0 on success and up by one otherwise.
void runEnded(bool succeeded, double seconds);
// The schedule was switched off (its key removed): it no longer promises
// fresh indicators, so the failures in a row are forgotten.
void scheduleOff();

// True while the last kStaleAfterFailures or more runs all failed.
bool stale();

}  // namespace feed_freshness

#endif  // COMMON_FEEDFRESHNESS_H_
