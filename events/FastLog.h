// Suricata's fast.log as the raw alert view shows it: newest line first.
#ifndef EVENTS_FASTLOG_H_
#define EVENTS_FASTLOG_H_

#include <string>

namespace events {

// The file named by "application.settings.fast_file", its last line first,
// every line ending in a line feed. Throws std::runtime_error "Failed to read
// configuration file: File I/O error.", "Failed to parse configuration file
// at line N: ...", "Missing 'application.settings.fast_file' in
// configuration.", "Failed to open log file: PATH" or "Failed to read log
// file: PATH".
std::string readFastLog();

// The lines of `text` (split at line feeds, which are not part of a line; a
// final line feed ends the last line rather than starting an empty one) in
// reverse order, each followed by one line feed. "" gives "".
std::string reverseLines(const std::string& text);

}  // namespace events

#endif  // EVENTS_FASTLOG_H_
