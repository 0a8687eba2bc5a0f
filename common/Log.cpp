// The process's log.
#include "common/Log.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace logging {

namespace {

constexpr char kIdent[] = "pavora_server";
// The priorities written: debug lines are left out.
constexpr int kWrittenMask = LOG_UPTO(LOG_INFO);

// Whether lines are copied to standard error, and the process's id for that
// copy; set by open().
bool g_toStderr = false;
pid_t g_pid = 0;

// Whether a listener takes datagrams on the log socket, asked at most once a
// second. Without one (a machine without a system logger) the C library
// would try to connect again at every line, four system calls each.
bool listenerAnswers() {
  using Clock = std::chrono::steady_clock;
  static std::atomic<int64_t> nextCheck{0};
  static std::atomic<bool> answers{false};
  const int64_t now = Clock::now().time_since_epoch().count();
  if (now < nextCheck.load(std::memory_order_relaxed)) {
    return answers.load(std::memory_order_relaxed);
  }
  nextCheck.store(
      now + std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)).count(),
      std::memory_order_relaxed);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", _PATH_LOG);
  const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const bool connected = probe >= 0 && connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                               sizeof address) == 0;
  if (probe >= 0) ::close(probe);
  answers.store(connected, std::memory_order_relaxed);
  return connected;
}

// One line to the system log, or, while no listener answers there, only to
// the copy on standard error, in the C library's form of that copy.
void emit(int priority, const char* text) {
  if (listenerAnswers()) {
    syslog(priority, "%s", text);
  } else if (g_toStderr && (LOG_MASK(LOG_PRI(priority)) & kWrittenMask) != 0) {
    dprintf(STDERR_FILENO, "%s[%d]: %s\n", kIdent, static_cast<int>(g_pid), text);
  }
}

// Formats the line, then writes it escaped: the arguments carry outside text.
void write(int priority, const char* format, va_list args) {
  char small[1024];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  if (length < 0) {
    va_end(again);
    emit(priority, format);  // a format the C library refuses: its text alone
    return;
  }
  std::string line;
  if (static_cast<size_t>(length) < sizeof small) {
    line.assign(small, static_cast<size_t>(length));
  } else {
    line.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(line.data(), line.size(), format, again);
    line.resize(static_cast<size_t>(length));
  }
  va_end(again);
  const bool plain = std::none_of(line.begin(), line.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  emit(priority, plain ? line.c_str() : escaped(line).c_str());
}

}  // namespace

void open() {
  const char* copy = std::getenv("PAVORA_LOG_STDERR");
  const bool toStderr = copy != nullptr && std::string(copy) == "1" && !isatty(STDERR_FILENO);
  g_toStderr = toStderr;
  g_pid = getpid();
  setlogmask(kWrittenMask);
  openlog(kIdent, LOG_PID | (toStderr ? LOG_PERROR : 0), LOG_USER);
}

void close() { closelog(); }

#define PAVORA_LOG_AT(name, priority)  \
  void name(const char* format, ...) { \
    va_list args;                      \
    va_start(args, format);            \
    write(priority, format, args);     \
    va_end(args);                      \
  }

PAVORA_LOG_AT(alert, LOG_ALERT)
PAVORA_LOG_AT(error, LOG_ERR)
PAVORA_LOG_AT(warning, LOG_WARNING)
PAVORA_LOG_AT(notice, LOG_NOTICE)
PAVORA_LOG_AT(info, LOG_INFO)

#undef PAVORA_LOG_AT

std::string escaped(std::string_view text, Escape escape) {
  // Most lines hold nothing to escape: they are copied whole.
  const auto plain = [escape](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7f && (escape != Escape::kQuotable || (c != '\\' && c != '"'));
  };
  size_t clean = 0;
  while (clean < text.size() && plain(text[clean])) ++clean;
  std::string out(text.substr(0, clean));
  if (clean == text.size()) return out;
  out.reserve(text.size() + 16);
  for (const char c : text.substr(clean)) {
    const auto byte = static_cast<unsigned char>(c);
    if (escape == Escape::kQuotable && (c == '\\' || c == '"')) {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

void printLine(const std::string& line) { std::cout << escaped(line) << std::endl; }

void printLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += escaped(line);
    text += '\n';
  }
  std::cout << text << std::flush;
}

void errorLine(const std::string& line) { std::cerr << escaped(line) << std::endl; }

}  // namespace logging
