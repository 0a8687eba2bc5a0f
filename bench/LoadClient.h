// A small HTTP/1.1 load client for the benchmark: keep-alive connections to
// the server on loopback, timed requests and percentiles of the times.
#ifndef BENCH_LOADCLIENT_H_
#define BENCH_LOADCLIENT_H_

#include <functional>
#include <string>
#include <vector>

namespace bench {

// One keep-alive connection to 127.0.0.1:port; reconnects when the server
// closes it. Not shared between threads.
class HttpConnection {
 public:
  explicit HttpConnection(int port) : port_(port) {}
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // GETs `path` and returns the body. Throws std::runtime_error when the
  // transport fails or the status is not 200.
  std::string get(const std::string& path) { return request("GET", path, ""); }
  // Sends `method` on `path` with the extra header lines `headers` (each
  // ending in CRLF) and returns the body; throws as get() does.
  std::string request(const std::string& method, const std::string& path,
                      const std::string& headers);

 private:
  void connect();
  int port_;
  int socket_ = -1;
  std::string pending_;  // bytes read past the previous reply
};

// Times of one measured operation, in milliseconds.
struct Sample {
  std::vector<double> ms;
  double percentile(double p) const;  // p in [0, 1]; 0 when empty
  double median() const { return percentile(0.5); }
};

// Runs `work` `iterations` times one after the other (after one warm-up run)
// and returns each run's time.
Sample timeSequential(const std::function<void()>& work, int iterations);

// CPU time (user and system) that process `pid` has used so far, in
// microseconds; 0 when unreadable.
double cpuMicroseconds(int pid);

// Runs `work` on `threads` threads, each calling it in a loop with its own
// thread index for `seconds`, and returns the completed calls per second.
double rate(const std::function<void(int)>& work, int threads, double seconds);

}  // namespace bench

#endif  // BENCH_LOADCLIENT_H_
