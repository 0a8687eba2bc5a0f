// The process's log: syslog under the identity "pavora_server", and the few
// diagnostic lines that some operations write to standard output or error.
#ifndef COMMON_LOG_H_
#define COMMON_LOG_H_

#include <string>

namespace logging {

// Opens the system log under "pavora_server" with the process id, facility
// user, and the mask up to informational priority. Called once by main.
// When standard error is no terminal and the environment holds
// PAVORA_LOG_STDERR=1 (the integration tests), every line also goes to
// standard error.
void open();
// Closes the system log.
void close();

// One line to the system log, printf-style, at the priority the name gives:
// alert for failures, warning and notice for refusals and audit lines,
// informational for progress.
void alert(const char* format, ...) __attribute__((format(printf, 1, 2)));
void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void notice(const char* format, ...) __attribute__((format(printf, 1, 2)));
void info(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `line` and a newline on standard output, flushed: the diagnostic lines of
// the geolocation and the service operations.
void printLine(const std::string& line);
// `line` and a newline on standard error: the failure lines of the feed
// download, the signature statistics and the address history.
void errorLine(const std::string& line);

}  // namespace logging

#endif  // COMMON_LOG_H_
