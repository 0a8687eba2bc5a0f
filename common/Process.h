// The one way the server runs an outside command (systemctl, suricata,
// suricatasc, suricata-update, chown, pgrep): from an argument vector, without
// a shell (a configured path holding a blank or ";" stays one argument), in a
// process group of its own, with a time limit, and without any of the
// server's file descriptors but standard input, output and error (a child
// never holds the listening socket or a client's connection).
#ifndef COMMON_PROCESS_H_
#define COMMON_PROCESS_H_

#include <stdexcept>
#include <string>
#include <vector>

namespace process {

// A command that ran past its limit: its whole process group was killed and
// reaped. The text names the command and the limit.
class TimeLimitExceeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command: the program, found in PATH as the shell finds it (a name holding
// a "/" is taken as a path), then its arguments, each passed as it is.
using Command = std::vector<std::string>;

// Where run() and succeeds() send the command's standard output.
enum class Output {
  kInherited,  // the server's own standard output
  kDiscarded,  // /dev/null (standard error stays the server's)
};

// What exec() reads from the command.
enum class Capture {
  kOutput,           // standard output; standard error is the server's own
  kOutputAndErrors,  // standard output and error through one pipe, in order
};

// The command as one line for logs and messages: its words joined by blanks.
std::string textOf(const Command& command);

// Runs `command` and waits for it, at most `limitSeconds`. Returns the wait
// status (decode it with WIFEXITED/WEXITSTATUS; a program that is not found
// exits with 127, one that cannot be executed with 126, as under the
// shell), or -1 when no process could be started. Throws TimeLimitExceeded
// past the limit.
int run(const Command& command, int limitSeconds, Output output = Output::kInherited);

// Whether `command` ran and exited with status 0 within `limitSeconds`.
// Throws TimeLimitExceeded past the limit.
bool succeeds(const Command& command, int limitSeconds, Output output = Output::kInherited);

// What `command` writes (see Capture), read to its end, NUL bytes kept; its
// wait status goes to `status` when given (callers that judge the output
// alone pass none). A program that is not found writes "<name>: not found"
// on its standard error. Throws std::runtime_error "popen() failed!" when it
// cannot be started, and TimeLimitExceeded past the limit.
std::string exec(const Command& command, int limitSeconds, Capture capture = Capture::kOutput,
                 int* status = nullptr);

// Kills the process group of every command still running, for the server's
// stop. From then on every waiter throws std::runtime_error instead of
// reporting an outcome, and no command starts.
void killAll();

}  // namespace process

#endif  // COMMON_PROCESS_H_
