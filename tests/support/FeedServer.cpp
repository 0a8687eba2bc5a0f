// The tests' feed server and zip archives built in memory.
#include "support/FeedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <ctime>
#include <memory>
#include <stdexcept>

#include "common/BuildSettings.h"

namespace harness {

namespace {

constexpr int kPollMillis = 50;
constexpr int kReadMillis = 2000;

// Reads up to the blank line that ends the request head; "" on time-out.
std::string readRequestHead(int connection) {
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd ready{connection, POLLIN, 0};
    if (poll(&ready, 1, kReadMillis) <= 0) return "";
    const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return "";
    head.append(buffer, static_cast<size_t>(got));
  }
  return head;
}

void sendAll(int connection, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string response(const char* status, const char* type, const std::string& body) {
  return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

}  // namespace

std::string utcHoursAgo(double hoursAgo) {
  const time_t when = time(nullptr) - static_cast<time_t>(hoursAgo * 3600);
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string feedLine(const std::string& firstSeen, const std::string& id, const std::string& value,
                     const std::string& type) {
  return firstSeen + "," + id + "," + value + "," + type +
         ",botnet_cc,win.x,,X,,75,,tag,0,reporter";
}

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) throw std::runtime_error("zip_source_buffer_create failed");
  zip_source_keep(buffer);  // read back after the archive is closed
  std::unique_ptr<zip_source_t, decltype(&zip_source_free)> keep(buffer, zip_source_free);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (archive == nullptr) throw std::runtime_error("zip_open_from_source failed");
  for (const auto& [name, bytes] : entries) {
    zip_source_t* entry = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    if (entry == nullptr || zip_file_add(archive, name.c_str(), entry, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(entry);
      zip_discard(archive);
      throw std::runtime_error("zip_file_add failed");
    }
  }
  if (zip_close(archive) < 0) {
    zip_discard(archive);
    throw std::runtime_error("zip_close failed");
  }
  if (zip_source_open(buffer) < 0) throw std::runtime_error("zip_source_open failed");
  std::string bytes;
  char chunk[4096];
  zip_int64_t got = 0;
  while ((got = zip_source_read(buffer, chunk, sizeof chunk)) > 0) {
    bytes.append(chunk, static_cast<size_t>(got));
  }
  zip_source_close(buffer);
  return bytes;
}

int FeedServer::port() { return build_settings::kHttpPort + 5; }

std::string FeedServer::url(const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port()) + path;
}

FeedServer::FeedServer() {
  // Close-on-exec: a server binary started while this one lives must not
  // inherit its port and keep it after this object is gone.
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0) {
    close(listener_);
    throw std::runtime_error("the feed server cannot listen on port " + std::to_string(port()));
  }
  thread_ = std::thread([this] { serve(); });
}

FeedServer::~FeedServer() {
  stopping_ = true;
  thread_.join();
  for (int connection : parked_) close(connection);
  close(listener_);
}

void FeedServer::setArchive(std::string bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  archive_ = std::move(bytes);
}

void FeedServer::serve() {
  while (!stopping_) {
    pollfd ready{listener_, POLLIN, 0};
    if (poll(&ready, 1, kPollMillis) <= 0) continue;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) answer(connection);
  }
}

void FeedServer::answer(int connection) {
  const std::string head = readRequestHead(connection);
  ++requests_;
  const size_t pathStart = head.find(' ') + 1;
  const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
  if (path == "/hang") {
    parked_.push_back(connection);
    return;
  }
  if (path == "/full.zip") {
    const std::lock_guard<std::mutex> lock(mutex_);
    sendAll(connection, response("200 OK", "application/zip", archive_));
  } else if (path == "/error") {
    sendAll(connection, response("404 Not Found", "text/html",
                                 "<html><body><h1>404 Not Found</h1></body></html>"));
  } else {
    sendAll(connection, response("404 Not Found", "text/plain", ""));
  }
  shutdown(connection, SHUT_WR);
  close(connection);
}

}  // namespace harness
