// A client of the live event stream for the integration tests: one raw
// connection to the server under test that reads the reply as it arrives.
#ifndef TESTS_SUPPORT_EVENTSTREAMCLIENT_H_
#define TESTS_SUPPORT_EVENTSTREAMCLIENT_H_

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace harness {

class EventStreamClient {
 public:
  // Connects to the server on 127.0.0.1 and sends "GET `path`" with the
  // further `headers` ("Name: value"). A `receiveBuffer` above 0 is set as
  // the socket's receive buffer before connecting: a client that then stops
  // reading fills it soon.
  explicit EventStreamClient(const std::string& path, const std::vector<std::string>& headers = {},
                             int receiveBuffer = 0);
  ~EventStreamClient();
  EventStreamClient(const EventStreamClient&) = delete;
  EventStreamClient& operator=(const EventStreamClient&) = delete;

  // Reads until the reply's head has come, at most `timeout`: its status, 0
  // when no head came.
  long status(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // The first header named `name` (any case) of the head read.
  std::optional<std::string> header(const std::string& name) const;
  // Reads until the body so far (chunks decoded) satisfies `done` or `timeout`
  // passes; returns whether it does.
  bool readUntil(const std::function<bool(const std::string& body)>& done,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // Reads until the body holds `text`.
  bool readUntilHolds(const std::string& text,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // Reads until the server closes the connection (or ends the body).
  bool readUntilEnd(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  const std::string& body() const { return body_; }

 private:
  // Waits at most `timeout` for bytes and takes what came; false on the end
  // of the connection or the timeout.
  bool receive(std::chrono::milliseconds timeout);
  void decode();

  int socket_ = -1;
  bool headDone_ = false;
  bool chunked_ = false;
  bool ended_ = false;
  long status_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string raw_;   // received and not yet decoded
  std::string body_;  // the body so far
};

}  // namespace harness

#endif  // TESTS_SUPPORT_EVENTSTREAMCLIENT_H_
