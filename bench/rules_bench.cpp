// Benchmark of the rule and indicator routes against floors measured in the
// same run: a rules file read and tokenized once by plain C code, and the
// indicator store read and parsed with simdjson. Talks to a running server on
// loopback; the driver script (rules_bench.sh) builds and starts it.
//
// usage: rules_bench PORT RULES_FILE STORE_FILE LABEL
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <simdjson.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// ---- A keep-alive HTTP/1.1 client ----------------------------------------------

class Connection {
 public:
  explicit Connection(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect to the server");
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends one GET and reads the whole reply; returns its status.
  int get(const std::string& path, std::string* body = nullptr) {
    // Keeps the connection, as browsers ask to.
    const std::string request =
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      throw std::runtime_error("send failed");
    }
    std::string data;
    size_t headerEnd = std::string::npos;
    size_t length = 0;
    char buffer[65536];
    for (;;) {
      if (headerEnd == std::string::npos) {
        headerEnd = data.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
          const size_t at = data.find("Content-Length: ");
          length = at == std::string::npos || at > headerEnd
                       ? 0
                       : std::strtoul(data.c_str() + at + 16, nullptr, 10);
        }
      }
      if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + length) break;
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) throw std::runtime_error("connection closed");
      data.append(buffer, static_cast<size_t>(got));
    }
    if (body != nullptr) *body = data.substr(headerEnd + 4, length);
    return std::atoi(data.c_str() + 9);
  }

 private:
  int fd_ = -1;
};

// ---- Floors ------------------------------------------------------------------------

std::vector<char> readAll(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) throw std::runtime_error(std::string("cannot open ") + path);
  std::fseek(file, 0, SEEK_END);
  std::vector<char> data(static_cast<size_t>(std::ftell(file)));
  std::rewind(file);
  const size_t got = std::fread(data.data(), 1, data.size(), file);
  std::fclose(file);
  data.resize(got);
  return data;
}

// Reads the rules file and cuts every line into its tokens once.
double rulesFloor(const char* path) {
  const auto start = Clock::now();
  const std::vector<char> data = readAll(path);
  bool delimiter[256] = {};
  for (const char* c = " .,;:!()#"; *c != '\0'; ++c)
    delimiter[static_cast<unsigned char>(*c)] = true;
  size_t tokens = 0;
  const char* p = data.data();
  const char* end = p + data.size();
  while (p < end) {
    const char* lineEnd =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (lineEnd == nullptr) lineEnd = end;
    bool inToken = false;
    for (; p < lineEnd; ++p) {
      const bool isDelimiter = delimiter[static_cast<unsigned char>(*p)];
      tokens += !isDelimiter && !inToken;
      inToken = !isDelimiter;
    }
    p = lineEnd + 1;
  }
  const double ms = msSince(start);
  if (tokens == 0) std::fprintf(stderr, "no tokens\n");
  return ms;
}

// Reads the store and parses it with simdjson.
double storeFloor(const char* path) {
  const auto start = Clock::now();
  simdjson::padded_string text = simdjson::padded_string::load(path);
  simdjson::dom::parser parser;
  simdjson::dom::element root = parser.parse(text);
  const double ms = msSince(start);
  if (root.is_null()) std::fprintf(stderr, "empty store\n");
  return ms;
}

double bestOf(int runs, double (*floor)(const char*), const char* path) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) best = std::min(best, floor(path));
  return best;
}

// ---- Measurements ------------------------------------------------------------------

// Changes the file's identity without changing its content: the next read
// must treat it as new.
void touch(const char* path) {
  std::vector<char> data = readAll(path);
  const std::string temporary = std::string(path) + ".bench";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), file);
  std::fclose(file);
  std::rename(temporary.c_str(), path);
}

// The server's count of rebuilds of `cache` ("rules" or "indicators") from
// its metrics page.
long rebuilds(int port, const char* cache) {
  Connection connection(port);
  std::string body;
  connection.get("/metrics", &body);
  const std::string name = std::string("pavora_cache_rebuilds{cache=\"") + cache + "\"} ";
  const size_t at = body.find(name);
  return at == std::string::npos ? -1 : std::atol(body.c_str() + at + name.size());
}

// The median time of `runs` requests, each the first after the file was
// replaced. Every one must rebuild the parse from the file: one read, one
// parse. The timestamps of a file just replaced are too recent to vouch
// for it, but its stamp (inode, times) differs from the kept parse's, so
// no request here re-reads the file to compare it with the kept bytes.
double coldMs(int port, const std::string& route, const char* file, const char* cache, int runs) {
  std::vector<double> samples;
  const long before = rebuilds(port, cache);
  Connection connection(port);
  for (int i = 0; i < runs; ++i) {
    touch(file);
    const auto start = Clock::now();
    const int status = connection.get(route);
    samples.push_back(msSince(start));
    if (status != 200) std::fprintf(stderr, "%s answered %d\n", route.c_str(), status);
  }
  const long rebuilt = rebuilds(port, cache) - before;
  if (rebuilt != runs)
    std::fprintf(stderr, "%s: %ld rebuilds for %d cold requests\n", route.c_str(), rebuilt, runs);
  return median(samples);
}

double warmMs(int port, const std::string& route, int runs) {
  Connection connection(port);
  connection.get(route);
  std::vector<double> samples;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    connection.get(route);
    samples.push_back(msSince(start));
  }
  return median(samples);
}

struct Load {
  double perSecond;
  double p50Ms;
};

// `clients` connections each sending `route` back to back for `seconds`.
Load underLoad(int port, const std::string& route, int clients, double seconds) {
  std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      Connection connection(port);
      while (!stop) {
        const auto sent = Clock::now();
        connection.get(route);
        latencies[static_cast<size_t>(c)].push_back(msSince(sent));
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& t : threads) t.join();
  const double elapsed = msSince(start) / 1000;
  std::vector<double> all;
  for (const auto& list : latencies) all.insert(all.end(), list.begin(), list.end());
  return {static_cast<double>(all.size()) / elapsed, median(all)};
}

void waitUntilOld(const char* path, int seconds) {
  // Files written in the last moments are re-checked by content: measure
  // the warm state once that window has passed.
  struct stat info {};
  stat(path, &info);
  while (time(nullptr) - info.st_ctime < seconds)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: rules_bench PORT RULES_FILE STORE_FILE LABEL\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const char* rulesFile = argv[2];
  const char* storeFile = argv[3];
  const char* label = argv[4];
  const int runs = 7;

  const double rulesFloorMs = bestOf(5, rulesFloor, rulesFile);
  const double storeFloorMs = bestOf(5, storeFloor, storeFile);

  struct Route {
    const char* path;
    const char* file;
    const char* cache;  // its name on the metrics page
    double floor;
  };
  const Route routes[] = {
      {"/rules?page=2000&page_size=10", rulesFile, "rules", rulesFloorMs},
      {"/rules/search?action=alert&page=5", rulesFile, "rules", rulesFloorMs},
      {"/rules/signature/CnC", rulesFile, "rules", rulesFloorMs},
      {"/ioc/?page=100", storeFile, "indicators", storeFloorMs},
  };

  std::printf("\n%s\n\n", label);
  std::printf("| Route | Floor | Cold | Cold/floor | Warm | Warm/floor | 16 connections |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Route& route : routes) {
    const double cold = coldMs(port, route.path, route.file, route.cache, runs);
    waitUntilOld(route.file, 3);
    const double warm = warmMs(port, route.path, 3 * runs);
    const Load load = underLoad(port, route.path, 16, 3.0);
    std::printf(
        "| `GET %s` | %.1f ms | %.1f ms | %.2fx | %.2f ms | %.3fx | %.0f req/s, p50 %.1f ms |\n",
        route.path, route.floor, cold, cold / route.floor, warm, warm / route.floor, load.perSecond,
        load.p50Ms);
    std::fflush(stdout);
  }

  // The rebuild and the rule generation write files: one at a time.
  Connection connection(port);
  std::vector<double> filter;
  std::vector<double> fetch;
  for (int i = 0; i < 5; ++i) {
    auto start = Clock::now();
    const int filterStatus = connection.get("/ioc/filter/30");
    filter.push_back(msSince(start));
    start = Clock::now();
    std::string body;
    const int fetchStatus = connection.get("/ioc/fetch/", &body);
    fetch.push_back(msSince(start));
    if (filterStatus != 200 || fetchStatus != 200) {
      std::fprintf(stderr, "filter %d, fetch %d %s\n", filterStatus, fetchStatus, body.c_str());
    }
  }
  std::printf("| `GET /ioc/filter/30` | | %.1f ms | | | | |\n", median(filter));
  std::printf("| `GET /ioc/fetch/` | | %.1f ms | | | | |\n", median(fetch));
  return 0;
}
