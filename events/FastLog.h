// Suricata's fast.log as the raw alert view shows it: newest line first.
#ifndef EVENTS_FASTLOG_H_
#define EVENTS_FASTLOG_H_

#include <string>

namespace fast_log {

// The lines of `text` (split at line feeds, which are not part of a line; a
// final line feed ends the last line rather than starting an empty one) in
// reverse order, each followed by one line feed. "" gives "".
std::string reverseLines(const std::string& text);

// Whole content of the file at `path`. Throws std::runtime_error "Failed to
// open log file: PATH" or, when reading fails (a directory, an I/O error),
// "Failed to read log file: PATH".
std::string readFile(const std::string& path);

}  // namespace fast_log

#endif  // EVENTS_FASTLOG_H_
