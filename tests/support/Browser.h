// Browser tests: pages served from loopback origins, and a headless Chromium
// that loads one page and hands back its DOM once the page's script is done.
// A page's script records what it saw as notes (statuses, headers, texts)
// that the test reads from the DOM.
#ifndef TESTS_SUPPORT_BROWSER_H_
#define TESTS_SUPPORT_BROWSER_H_

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace harness {

// A folder of pages served over HTTP by python3's http.server on the loopback
// address `host` ("127.0.0.1", "127.0.0.2": two origins) and `port`, from
// construction until destruction. Throws when nothing answers there.
class PageServer {
 public:
  PageServer(std::string host, int port);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Ports of this test build's page servers: its HTTP port + 6 and + 7, so
  // that two builds testing at the same time never collide.
  static int firstPort();
  static int secondPort();

  // Writes `html` as the page `name` ("front.html").
  void addPage(const std::string& name, const std::string& html) const;
  // "http://<host>:<port>", as the browser sends it in "Origin".
  std::string origin() const;
  std::string url(const std::string& name) const;

 private:
  std::string host_;
  int port_;
  std::string folder_;
  int pid_ = -1;
};

// A page whose script runs `body`, the statements of an async function that
// calls note(text) for each thing it saw. The notes go into the DOM one per
// line, then "done", or "failed: <error>" when `body` throws.
std::string notingPage(const std::string& body, const std::string& markup = "");

// The notes of a DOM dumped from a notingPage, in order.
std::vector<std::string> notesOf(const std::string& dom);

class Chromium {
 public:
  // Why headless Chromium cannot run on this machine, or nothing when it can.
  // Checked once per process.
  static std::optional<std::string> unavailable();
  // Loads `url` in a fresh profile, lets the page run until its network
  // requests end and `budget` of page time passes, and returns the DOM.
  // `flags` go to Chromium after its own ("--ignore-certificate-errors" for
  // a server with the tests' self-signed certificate).
  static std::string dumpDom(const std::string& url,
                             std::chrono::milliseconds budget = std::chrono::milliseconds(5000),
                             const std::string& flags = "");
};

}  // namespace harness

#endif  // TESTS_SUPPORT_BROWSER_H_
