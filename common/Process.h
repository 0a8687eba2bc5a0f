// The one way the server runs an outside command (systemctl, suricata,
// suricatasc, suricata-update, chown, pgrep): through the shell, waiting for
// it to end. Commands are fixed texts or built from configuration values with
// request data quoted; nothing here looks at what they mean.
#ifndef COMMON_PROCESS_H_
#define COMMON_PROCESS_H_

#include <string>

namespace process {

// Runs `command` through the shell and waits for it; its output goes to the
// server's own standard output and error. Returns the wait status (decode it
// with WIFEXITED/WEXITSTATUS), or -1 when no shell could be started.
int run(const std::string& command);

// Whether `command` ran and exited with status 0.
bool succeeds(const std::string& command);

// Standard output of `command` run through the shell, read to its end; the
// exit status is not looked at, and NUL bytes in the output are kept.
// Throws std::runtime_error "popen() failed!" when it cannot be started.
std::string exec(const std::string& command);

}  // namespace process

#endif  // COMMON_PROCESS_H_
