// The check of a configuration file before the server runs on it: every key
// the routes read, its type, and the files and folders it names.
#ifndef COMMON_CONFIGCHECK_H_
#define COMMON_CONFIGCHECK_H_

#include <string>
#include <vector>

namespace config {

// One thing a route would fail on, as a line for the operator:
// "application.settings.geo_file: /x.mmdb: No such file or directory".
struct Problem {
  std::string key;  // the dotted key, or the file's path for a file problem
  std::string text;
};

// Reads the file at `path` as the routes do and reports each key that is
// missing, of the wrong type, or names a file that does not exist or cannot
// be read, or a folder that does not exist or cannot be written where the
// server writes. Optional keys are checked only when present (the feed
// refresh's two keys as config::refreshSettings reads them; the TLS keys as
// the server reads them at start, the two files loaded and matched). Empty when
// every route has what it needs. Never throws.
std::vector<Problem> check(const std::string& path);

}  // namespace config

#endif  // COMMON_CONFIGCHECK_H_
