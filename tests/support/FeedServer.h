// A threat feed's server for the tests: plain HTTP on loopback, serving a zip
// archive that the test builds, an error page, and a route that never answers.
#ifndef TESTS_SUPPORT_FEEDSERVER_H_
#define TESTS_SUPPORT_FEEDSERVER_H_

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace harness {

// The feed's form of the UTC time `hoursAgo` hours before now.
std::string utcHoursAgo(double hoursAgo);

// One feed line of 14 fields: the first-seen date, id, value and type given,
// the other fields fixed.
std::string feedLine(const std::string& firstSeen, const std::string& id, const std::string& value,
                     const std::string& type);

// A zip archive held in memory, its entries in the order given (name, bytes).
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries);

// Listens on 127.0.0.1 from construction until destruction, one connection at
// a time. Routes: "/full.zip" answers 200 with the archive set last;
// "/error" answers 404 with an HTML page; "/hang" reads the request and never
// answers (the connection stays open until the server is destroyed); any other
// path answers 404 with an empty body.
class FeedServer {
 public:
  // The port of this test build's feed server: its HTTP port + 5, so that two
  // builds testing at the same time never collide.
  static int port();

  FeedServer();
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  void setArchive(std::string bytes);
  // "http://127.0.0.1:<port>" followed by `path`.
  static std::string url(const std::string& path);
  // Requests received so far.
  int requests() const { return requests_; }

 private:
  void serve();
  void answer(int connection);

  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::mutex mutex_;
  std::string archive_;
  std::vector<int> parked_;  // connections of "/hang", closed at the end
  std::thread thread_;
};

}  // namespace harness

#endif  // TESTS_SUPPORT_FEEDSERVER_H_
