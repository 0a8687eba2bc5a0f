// The one way the server runs an outside command (systemctl, suricata,
// suricatasc, suricata-update, chown, pgrep): through the shell, in a process
// group of its own, with a time limit, and without any of the server's file
// descriptors but standard input, output and error (a child never holds the
// listening socket or a client's connection).
#ifndef COMMON_PROCESS_H_
#define COMMON_PROCESS_H_

#include <stdexcept>
#include <string>

namespace process {

// A command that ran past its limit: its whole process group was killed and
// reaped. The text names the command and the limit.
class TimeLimitExceeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `command` through the shell and waits for it, at most `limitSeconds`;
// its output goes to the server's own standard output and error. Returns the
// wait status (decode it with WIFEXITED/WEXITSTATUS), or -1 when no shell
// could be started. Throws TimeLimitExceeded past the limit.
int run(const std::string& command, int limitSeconds);

// Whether `command` ran and exited with status 0 within `limitSeconds`.
// Throws TimeLimitExceeded past the limit.
bool succeeds(const std::string& command, int limitSeconds);

// Standard output of `command` run through the shell, read to its end, NUL
// bytes kept; its wait status goes to `status` when given (callers that
// judge the output alone pass none). Throws std::runtime_error
// "popen() failed!" when it cannot be started, and TimeLimitExceeded past
// the limit.
std::string exec(const std::string& command, int limitSeconds, int* status = nullptr);

// Kills the process group of every command still running, for the server's
// stop. From then on every waiter throws std::runtime_error instead of
// reporting an outcome, and no command starts.
void killAll();

}  // namespace process

#endif  // COMMON_PROCESS_H_
