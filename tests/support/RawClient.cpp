// Plain TCP connections to the server under test, and its process figures.
#include "support/RawClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "common/BuildSettings.h"
#include "support/Harness.h"

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

RawConnection::RawConnection(int receiveBuffer) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) throw std::runtime_error("socket failed");
  if (receiveBuffer > 0)
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(build_settings::kHttpPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    throw std::runtime_error("connect to the test server failed");
  }
}

RawConnection::~RawConnection() { close(fd_); }

bool RawConnection::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string RawConnection::readUntil(bool (*done)(const std::string&),
                                     std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string received;
  char buffer[65536];
  while (!done(received)) {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, remainingMs(deadline)) <= 0) break;
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}

bool RawConnection::closedWithin(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  char buffer[65536];
  for (;;) {
    pollfd ready{fd_, POLLIN, 0};
    const int polled = poll(&ready, 1, remainingMs(deadline));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
  }
}

size_t completeReplies(const std::string& bytes) {
  size_t count = 0;
  size_t at = 0;
  for (;;) {
    const size_t headEnd = bytes.find("\r\n\r\n", at);
    if (headEnd == std::string::npos) return count;
    std::string head = bytes.substr(at, headEnd - at);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t length = 0;
    const size_t field = head.find("\r\ncontent-length:");
    if (field != std::string::npos) length = std::strtoul(head.c_str() + field + 17, nullptr, 10);
    if (bytes.size() < headEnd + 4 + length) return count;
    at = headEnd + 4 + length;
    ++count;
  }
}

namespace {

// The value in KiB of the line `field` ("VmRSS:") of /proc/<pid>/status.
long statusKiB(int pid, const std::string& field) {
  std::stringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + field.size(), nullptr, 10);
  }
  return -1;
}

}  // namespace

long residentKiB(int pid) { return statusKiB(pid, "VmRSS:"); }
long virtualKiB(int pid) { return statusKiB(pid, "VmSize:"); }

double cpuSeconds(int pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  // Fields after the command name in parentheses: state is field 3, utime 14, stime 15.
  std::stringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index == 14 || index == 15) ticks += std::strtod(field.c_str(), nullptr);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace harness
