// The server's command line: without arguments it serves; "--check-config
// [PATH]" checks a configuration file and "--version" prints the version and
// the settings compiled in; anything else is a usage error.
#ifndef SERVER_COMMANDLINE_H_
#define SERVER_COMMANDLINE_H_

#include <optional>

namespace command_line {

// Carries out the option in `argv`, if any, writing to standard output (the
// usage text to standard error). Returns the exit status when the process
// should end (0 for a usable configuration or the version, 1 for an unusable
// configuration, 2 for a usage error), nothing when it should serve.
std::optional<int> run(int argc, const char* const* argv);

}  // namespace command_line

#endif  // SERVER_COMMANDLINE_H_
