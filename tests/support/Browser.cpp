// Pages on loopback origins and headless Chromium for the browser tests.
#include "support/Browser.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/BuildSettings.h"
#include "support/Harness.h"

namespace harness {

namespace {

// Whether something accepts connections on `host`:`port`.
bool answers(const std::string& host, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// The flags that let Chromium run as root on a machine without a display
// and keep it from any connection of its own beyond the page's.
const char kChromiumFlags[] =
    "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
    "--disable-background-networking --disable-component-update --disable-sync";

// Runs `command` through the shell and returns its standard output.
std::string output(const std::string& command) {
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run: " + command);
  std::string text;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) text.append(buffer, got);
  return text;
}

}  // namespace

// ---- Pages --------------------------------------------------------------------

PageServer::PageServer(std::string host, int port)
    : host_(std::move(host)),
      port_(port),
      folder_(workDir() + "/pages-" + host_ + "-" + std::to_string(port)) {
  output("rm -rf '" + folder_ + "' && mkdir -p '" + folder_ + "'");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const std::string portText = std::to_string(port_);
    execlp("python3", "python3", "-m", "http.server", portText.c_str(), "--bind", host_.c_str(),
           "--directory", folder_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (!waitFor([&] { return answers(host_, port_); })) {
    throw std::runtime_error("page server did not start on " + origin());
  }
}

PageServer::~PageServer() {
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

int PageServer::firstPort() { return build_settings::kHttpPort + 6; }
int PageServer::secondPort() { return build_settings::kHttpPort + 7; }

void PageServer::addPage(const std::string& name, const std::string& html) const {
  writeFile(folder_ + "/" + name, html);
}

std::string PageServer::origin() const { return "http://" + host_ + ":" + std::to_string(port_); }

std::string PageServer::url(const std::string& name) const { return origin() + "/" + name; }

std::string notingPage(const std::string& body, const std::string& markup) {
  return "<!DOCTYPE html><html><body>" + markup +
         "<pre id=\"notes\"></pre><script>\n"
         "const notes = document.getElementById('notes');\n"
         "function note(text) { notes.textContent += text + '\\n'; }\n"
         "(async () => {\n" +
         body +
         "\n})().then(() => note('done'), (error) => note('failed: ' + error));\n"
         "</script></body></html>\n";
}

std::vector<std::string> notesOf(const std::string& dom) {
  const std::string open = "<pre id=\"notes\">";
  const size_t start = dom.find(open);
  if (start == std::string::npos) return {};
  const size_t end = dom.find("</pre>", start);
  std::istringstream text(dom.substr(start + open.size(), end - start - open.size()));
  std::vector<std::string> notes;
  for (std::string line; std::getline(text, line);) notes.push_back(line);
  return notes;
}

// ---- Chromium -----------------------------------------------------------------

std::optional<std::string> Chromium::unavailable() {
  static const std::optional<std::string> reason = []() -> std::optional<std::string> {
    if (output("command -v chromium").empty()) {
      return "chromium is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string dom = dumpDom("data:text/html,<p>chromium-runs</p>");
    if (dom.find("chromium-runs") == std::string::npos) {
      return "chromium does not run here: it dumped '" + dom.substr(0, 200) + "'";
    }
    return std::nullopt;
  }();
  return reason;
}

std::string Chromium::dumpDom(const std::string& url, std::chrono::milliseconds budget,
                              const std::string& flags) {
  static int runs = 0;
  const std::string profile =
      workDir() + "/chromium-profile-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
  const std::string dom = output("rm -rf '" + profile + "' && timeout -k 5 60 chromium " +
                                 kChromiumFlags + " " + flags + " --user-data-dir='" + profile +
                                 "' --virtual-time-budget=" + std::to_string(budget.count()) +
                                 " --dump-dom '" + url + "' 2>/dev/null");
  output("rm -rf '" + profile + "'");
  return dom;
}

}  // namespace harness
