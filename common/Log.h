// The process's log: syslog under the identity "pavora_server", and the few
// diagnostic lines that some operations write to standard output or error.
#ifndef COMMON_LOG_H_
#define COMMON_LOG_H_

#include <string>
#include <string_view>
#include <vector>

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
// informational for progress. The formatted line is written escaped().
void alert(const char* format, ...) __attribute__((format(printf, 1, 2)));
void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void notice(const char* format, ...) __attribute__((format(printf, 1, 2)));
void info(const char* format, ...) __attribute__((format(printf, 1, 2)));

// How escaped() writes a text that came from outside (a request, a file, the
// daemon's data) into a log line.
enum class Escape {
  kControls,  // control bytes only: the form of every log line
  kQuotable,  // also backslash and double quote: a field the audit lines quote
};

// `text` with each control byte (below 0x20, and DEL) written as "\n" for a
// line feed and "\xNN" for the others (ESC as "\x1b", CR as "\x0d"), so that
// nothing logged can end its line, start a forged one or drive a terminal.
// kQuotable also writes "\" as "\\" and '"' as "\"". Bytes from 0x80 on stay.
std::string escaped(std::string_view text, Escape escape = Escape::kControls);

// `line` and a newline on standard output, flushed: the diagnostic lines of
// the geolocation and the service operations, escaped().
void printLine(const std::string& line);
// Each of `lines`, escaped(), and a newline after each, on standard output in
// one write, flushed: lines that must not mix with another thread's.
void printLines(const std::vector<std::string>& lines);
// `line` and a newline on standard error: the failure lines of the feed
// download, the signature statistics and the address history, escaped().
void errorLine(const std::string& line);

}  // namespace logging

#endif  // COMMON_LOG_H_
