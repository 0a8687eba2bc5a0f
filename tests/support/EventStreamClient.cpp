// The tests' event-stream client on a plain socket.
#include "support/EventStreamClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "common/BuildSettings.h"

namespace harness {

EventStreamClient::EventStreamClient(const std::string& path,
                                     const std::vector<std::string>& headers, int receiveBuffer) {
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) throw std::runtime_error("socket failed");
  if (receiveBuffer > 0) {
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(build_settings::kHttpPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(socket_);
    throw std::runtime_error("cannot connect to the server under test");
  }
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (const std::string& header : headers) request += header + "\r\n";
  request += "\r\n";
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = ::send(socket_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
}

EventStreamClient::~EventStreamClient() {
  if (socket_ >= 0) ::close(socket_);
}

bool EventStreamClient::receive(std::chrono::milliseconds timeout) {
  if (ended_) return false;
  pollfd ready{socket_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[65536];
  const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  raw_.append(buffer, static_cast<size_t>(n));
  decode();
  return true;
}

void EventStreamClient::decode() {
  if (!headDone_) {
    const size_t end = raw_.find("\r\n\r\n");
    if (end == std::string::npos) return;
    const std::string head = raw_.substr(0, end);
    raw_.erase(0, end + 4);
    headDone_ = true;
    size_t line = head.find("\r\n");
    const std::string statusLine = head.substr(0, line);
    const size_t space = statusLine.find(' ');
    if (space != std::string::npos) status_ = std::stol(statusLine.substr(space + 1, 3));
    while (line != std::string::npos) {
      const size_t start = line + 2;
      line = head.find("\r\n", start);
      const std::string field = head.substr(start, line == std::string::npos ? line : line - start);
      const size_t colon = field.find(':');
      if (colon == std::string::npos) continue;
      std::string value = field.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      headers_.emplace_back(field.substr(0, colon), value);
    }
    const auto encoding = header("Transfer-Encoding");
    chunked_ = encoding && strcasecmp(encoding->c_str(), "chunked") == 0;
  }
  if (!chunked_) {
    body_ += raw_;
    raw_.clear();
    return;
  }
  for (;;) {
    const size_t sizeEnd = raw_.find("\r\n");
    if (sizeEnd == std::string::npos) return;
    const size_t size = std::stoul(raw_.substr(0, sizeEnd), nullptr, 16);
    if (size == 0) {
      ended_ = true;
      return;
    }
    if (raw_.size() < sizeEnd + 2 + size + 2) return;
    body_.append(raw_, sizeEnd + 2, size);
    raw_.erase(0, sizeEnd + 2 + size + 2);
  }
}

long EventStreamClient::status(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!headDone_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || (!receive(left) && ended_)) break;
  }
  return status_;
}

std::optional<std::string> EventStreamClient::header(const std::string& name) const {
  for (const auto& [field, value] : headers_) {
    if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

bool EventStreamClient::readUntil(const std::function<bool(const std::string&)>& done,
                                  std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done(body_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ended_) return false;
    receive(left);
  }
  return true;
}

bool EventStreamClient::readUntilHolds(const std::string& text, std::chrono::milliseconds timeout) {
  return readUntil([&](const std::string& body) { return body.find(text) != std::string::npos; },
                   timeout);
}

bool EventStreamClient::readUntilEnd(std::chrono::milliseconds timeout) {
  readUntil([this](const std::string&) { return ended_; }, timeout);
  return ended_;
}

}  // namespace harness
