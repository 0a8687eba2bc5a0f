// The process's log.
#include "common/Log.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <iostream>

namespace logging {

namespace {

void write(int priority, const char* format, va_list args) { vsyslog(priority, format, args); }

}  // namespace

void open() {
  const char* copy = std::getenv("PAVORA_LOG_STDERR");
  const bool toStderr = copy != nullptr && std::string(copy) == "1" && !isatty(STDERR_FILENO);
  setlogmask(LOG_UPTO(LOG_INFO));
  openlog("pavora_server", LOG_PID | (toStderr ? LOG_PERROR : 0), LOG_USER);
}

void close() { closelog(); }

#define PAVORA_LOG_AT(name, priority)   \
  void name(const char* format, ...) { \
    va_list args;                       \
    va_start(args, format);             \
    write(priority, format, args);      \
    va_end(args);                       \
  }

PAVORA_LOG_AT(alert, LOG_ALERT)
PAVORA_LOG_AT(error, LOG_ERR)
PAVORA_LOG_AT(warning, LOG_WARNING)
PAVORA_LOG_AT(notice, LOG_NOTICE)
PAVORA_LOG_AT(info, LOG_INFO)

#undef PAVORA_LOG_AT

void printLine(const std::string& line) { std::cout << line << std::endl; }

void errorLine(const std::string& line) { std::cerr << line << std::endl; }

}  // namespace logging
