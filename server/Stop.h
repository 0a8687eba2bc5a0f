// The server's stop on SIGTERM or SIGINT: no new request is taken and no
// feed refresh starts, the requests in flight and a refresh that runs may
// finish for a while, then the outside commands still running are
// killed, unfinished temporary files removed, the reason logged, and the
// process exits with status 0.
#ifndef SERVER_STOP_H_
#define SERVER_STOP_H_

namespace server_stop {

// Blocks SIGTERM and SIGINT in the calling thread and in every thread started
// from it afterwards, so that only the stop watcher receives them. main
// calls it before anything starts a thread.
void blockStopSignals();

// Starts the thread that waits for SIGTERM or SIGINT and then stops the
// process: requests in flight get build_settings::kStopGraceSeconds to finish.
void watchForStop();

}  // namespace server_stop

#endif  // SERVER_STOP_H_
