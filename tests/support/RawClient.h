// Plain TCP connections to the server under test, for the cases an HTTP
// client library hides: pipelined requests, a client that never reads, idle
// or half-sent requests, and the figures of the server process meanwhile.
#ifndef TESTS_SUPPORT_RAWCLIENT_H_
#define TESTS_SUPPORT_RAWCLIENT_H_

#include <chrono>
#include <string>

namespace harness {

// One connection to 127.0.0.1 on the test HTTP port, closed by the destructor.
class RawConnection {
 public:
  // Connects, blocking; `receiveBuffer` > 0 sets SO_RCVBUF first, so that a
  // client that never reads holds as little of a reply as the kernel allows.
  // Throws std::runtime_error when the connection cannot be made.
  explicit RawConnection(int receiveBuffer = 0);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // Writes all of `bytes` in one send; false when the server refused them.
  bool send(const std::string& bytes);
  // What arrives until `done` holds of it, the server closes, or `timeout`
  // passes (whichever first).
  std::string readUntil(bool (*done)(const std::string&), std::chrono::milliseconds timeout);
  // Whether the server closed the connection (end of file or reset) within
  // `timeout`; bytes that arrive meanwhile are read and dropped.
  bool closedWithin(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

// Number of complete HTTP/1.1 replies (status line, headers, a body of its
// Content-Length) at the start of `bytes`.
size_t completeReplies(const std::string& bytes);

// Resident memory of process `pid` in KiB (VmRSS), -1 when it cannot be read.
long residentKiB(int pid);
// Address space of process `pid` in KiB (VmSize): memory reserved, touched or not.
long virtualKiB(int pid);
// CPU time (user and system) process `pid` has used, in seconds.
double cpuSeconds(int pid);

}  // namespace harness

#endif  // TESTS_SUPPORT_RAWCLIENT_H_
