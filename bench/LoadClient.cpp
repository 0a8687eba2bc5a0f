// HTTP/1.1 keep-alive client and timing helpers of the benchmark.
#include "LoadClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Value of the header `name` (lower case) in `head`, or "" when absent.
std::string headerValue(const std::string& head, const std::string& name) {
  std::string lower = head;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  const size_t at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return "";
  size_t begin = at + name.size() + 3;
  while (begin < head.size() && head[begin] == ' ') ++begin;
  return head.substr(begin, head.find("\r\n", begin) - begin);
}

}  // namespace

HttpConnection::~HttpConnection() {
  if (socket_ >= 0) close(socket_);
}

void HttpConnection::connect() {
  if (socket_ >= 0) close(socket_);
  pending_.clear();
  socket_ = socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to the server on port " + std::to_string(port_));
  }
  const int one = 1;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const timeval limit{120, 0};
  setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

std::string HttpConnection::request(const std::string& method, const std::string& path,
                                    const std::string& headers) {
  for (int attempt = 0;; ++attempt) {
    if (socket_ < 0) connect();
    // Asks to keep the connection, as browsers do: without the header the
    // server closes it after each reply.
    const std::string message = method + " " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n" +
                                headers + "\r\n";
    bool broken = send(socket_, message.data(), message.size(), MSG_NOSIGNAL) !=
                  static_cast<ssize_t>(message.size());
    std::string data = std::move(pending_);
    pending_.clear();
    size_t headEnd = std::string::npos;
    char buffer[65536];
    while (!broken && (headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0)
        broken = true;
      else
        data.append(buffer, static_cast<size_t>(got));
    }
    if (broken) {
      // A keep-alive connection the server closed: one fresh try.
      close(socket_);
      socket_ = -1;
      if (attempt == 0 && data.empty()) continue;
      throw std::runtime_error("connection lost on " + path);
    }
    const std::string head = data.substr(0, headEnd);
    const size_t length = std::stoul("0" + headerValue(head, "content-length"));
    const size_t bodyStart = headEnd + 4;
    while (data.size() < bodyStart + length) {
      const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) throw std::runtime_error("reply cut short on " + path);
      data.append(buffer, static_cast<size_t>(got));
    }
    pending_ = data.substr(bodyStart + length);
    if (head.compare(0, 12, "HTTP/1.1 200") != 0) {
      throw std::runtime_error(path + ": " + head.substr(0, head.find("\r\n")) + ": " +
                               data.substr(bodyStart, std::min<size_t>(length, 200)));
    }
    if (headerValue(head, "connection") == "close") {
      close(socket_);
      socket_ = -1;
    }
    return data.substr(bodyStart, length);
  }
}

double Sample::percentile(double p) const {
  if (ms.empty()) return 0;
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  const size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(index, sorted.size() - 1)];
}

Sample timeSequential(const std::function<void()>& work, int iterations) {
  work();
  Sample sample;
  for (int i = 0; i < iterations; ++i) {
    const auto start = Clock::now();
    work();
    sample.ms.push_back(millisecondsSince(start));
  }
  return sample;
}

double cpuMicroseconds(int pid) {
  // Fields 14 and 15 of /proc/PID/stat, after the parenthesised name.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  const size_t nameEnd = line.rfind(')');
  if (nameEnd == std::string::npos) return 0;
  std::istringstream fields(line.substr(nameEnd + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index >= 14) ticks += std::stod(field);
  }
  return ticks * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double rate(const std::function<void(int)>& work, int threads, double seconds) {
  std::atomic<long> done{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> pool;
  const auto start = Clock::now();
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      while (!stop.load()) {
        work(t);
        ++done;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& thread : pool) thread.join();
  return static_cast<double>(done.load()) / (millisecondsSince(start) / 1000.0);
}

}  // namespace bench
