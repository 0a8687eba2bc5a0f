// The benchmark: each route of the scenario table against the running server
// beside its floor measured in the same run, printed as a table of ratios;
// then the latency of a cheap request while whole-list requests load the
// server. bench/run.sh starts Redis, loads the data and starts the server.
//
// Usage: pavora_bench --http-port P --redis-port R [--server-pid PID]
//                     [--iterations N] [--seconds S] [--memory-only]
//                     [--only TEXT]   (only the rows whose route holds TEXT)
// With --server-pid the full run ends with the server's CPU per request.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Floors.h"
#include "LoadClient.h"

namespace bench {

namespace {

struct Options {
  int httpPort = 0;
  int redisPort = 0;
  int serverPid = 0;
  int iterations = 5;    // sequential runs of a whole-list route (more for cheap ones)
  double seconds = 3.0;  // length of each rate measurement
  bool memoryOnly = false;
  bool cpuOnly = false;  // only the CPU per request (needs --server-pid)
  std::string only;      // run only the rows whose route holds this text
};

// One row of the table: a route, its floor and what is measured.
struct Scenario {
  std::string route;                 // as printed
  std::string path;                  // as requested
  std::function<void()> floor;       // the bare work of one request
  bool cheap;                        // many sequential runs instead of a few
  std::vector<int> rateConnections;  // rates measured at these connection counts
  std::string target;                // the goal, as printed
};

// The lists the histogram counts: its 16 entries, one of them over two lists.
const std::vector<std::string> kHistogramLists = {
    "alert",          "anomaly",       "quic", "ftp", "drop", "dhcp", "http2",
    "bittorrent_dht", "bittorent-dht", "smb",  "dns", "flow", "http", "tls",
    "fileinfo",       "ssh",           "stats"};

// The floor of GET /stats/: the head of "stats", the dns and dhcp lists
// fetched and parsed, and the three counted lists.
void statsFloor() {
  floorRange("stats", 0, 0);
  floorParse({"dns", "dhcp"});
  floorCount({"http", "tls", "alert"});
}

std::vector<Scenario> scenarios() {
  // Flow search walks the lists in "KEYS *" order: a flow near the head of
  // the first list, the oldest event of the last, and one nobody has.
  // Only event lists carry flow ids ("stats" and "stats_report" do not).
  const std::vector<std::string> lists = listKeys();
  std::vector<std::string> eventLists;
  for (const std::string& key : lists) {
    if (key.rfind("stats", 0) != 0) eventLists.push_back(key);
  }
  const std::string& first = eventLists.front();
  const std::string& last = eventLists.back();
  const std::string newFlow = flowIdAt(first, listLength(first) / 20);
  const std::string oldFlow = flowIdAt(last, -1);
  const auto allLists = [lists] { floorParse(lists); };
  const auto alerts = [] { floorParse({"alert"}); };
  return {
      {"GET /events/alert (101 events)",
       "/events/alert",
       [] { floorRange("alert", 0, 100); },
       true,
       {2},
       "<= 3x; >= 50 % rate"},
      {"GET /events/alertsmap?limit=100",
       "/events/alertsmap?limit=100",
       [] { floorRange("alert", 0, 100); },
       true,
       {2},
       "<= 4x"},
      {"GET /events/count/alert",
       "/events/count/alert",
       [] { floorCount({"alert"}); },
       true,
       {2, 16},
       ">= 70 % rate"},
      {"GET /stats/histogramm/",
       "/stats/histogramm/",
       [] { floorCount(kHistogramLists); },
       true,
       {2, 16},
       ">= 70 % rate"},
      {"GET /events/search/<oldest of " + last + ">",
       "/events/search/" + oldFlow,
       allLists,
       false,
       {},
       "-"},
      {"GET /events/search/<newest tenth of " + first + ">",
       "/events/search/" + newFlow,
       allLists,
       false,
       {},
       "<= 0.2x"},
      {"GET /events/search/<no such flow>", "/events/search/1", allLists, false, {}, "<= 1.1x"},
      {"GET /events/alertssignatures", "/events/alertssignatures", alerts, false, {}, "<= 1.25x"},
      {"GET /events/alertsbyhours", "/events/alertsbyhours", alerts, false, {}, "<= 1.25x"},
      {"GET /stats/", "/stats/", statsFloor, false, {}, "<= 1.25x"},
      {"GET /stats/pkts/", "/stats/pkts/", [] { floorParse({"stats"}); }, false, {}, "<= 1.25x"},
      {"GET /net/historicalmap/",
       "/net/historicalmap/",
       [] {
         floorParse({"alert", "dns", "http", "tls"});
       },
       false,
       {},
       "<= 1.25x"},
  };
}

// Rounds of a rate measurement, each on connections of its own.
constexpr int kRateRounds = 4;

// The server's rate for `path` on `connections` keep-alive connections. The
// server hands each connection to one of its threads by the connection's
// descriptor, so a few connections may share one thread or not by chance:
// the time is split into rounds, each on new connections, and the rate is
// that of all rounds together.
double serverRate(const Options& options, const std::string& path, int connections) {
  double served = 0;
  for (int round = 0; round < kRateRounds; ++round) {
    std::vector<std::unique_ptr<HttpConnection>> pool;
    for (int c = 0; c < connections; ++c) {
      pool.push_back(std::make_unique<HttpConnection>(options.httpPort));
    }
    served += rate([&](int t) { pool[t]->get(path); }, connections, options.seconds / kRateRounds);
  }
  return served / kRateRounds;
}

void runTable(const Options& options) {
  std::printf("| Route | Measure | Server | Floor | Ratio | Target |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const Scenario& s : scenarios()) {
    if (s.route.find(options.only) == std::string::npos) continue;
    HttpConnection connection(options.httpPort);
    const int runs = s.cheap ? options.iterations * 100 : options.iterations;
    const Sample server = timeSequential([&] { connection.get(s.path); }, runs);
    const Sample floor = timeSequential(s.floor, runs);
    std::printf("| %s | median of %d | %.2f ms | %.2f ms | %.2fx | %s |\n", s.route.c_str(), runs,
                server.median(), floor.median(), server.median() / floor.median(),
                s.target.c_str());
    for (int connections : s.rateConnections) {
      const double served = serverRate(options, s.path, connections);
      const double bare = rate([&](int) { s.floor(); }, connections, options.seconds);
      std::printf("| %s | rate at %d connections | %.0f req/s | %.0f req/s | %.0f %% | %s |\n",
                  s.route.c_str(), connections, served, bare, 100.0 * served / bare,
                  s.target.c_str());
    }
    std::fflush(stdout);
  }
}

// The latency of GET /events/count/alert on an idle server, then while 8
// clients loop on GET /stats/ and GET /events/alertsbyhours.
void runUnderLoad(const Options& options) {
  const std::string probe = "/events/count/alert";
  HttpConnection idleConnection(options.httpPort);
  const Sample idle = timeSequential([&] { idleConnection.get(probe); }, options.iterations * 100);

  std::atomic<bool> stop{false};
  std::vector<std::thread> load;
  for (int c = 0; c < 8; ++c) {
    load.emplace_back([&, c] {
      HttpConnection connection(options.httpPort);
      const std::string path = c % 2 == 0 ? "/stats/" : "/events/alertsbyhours";
      while (!stop.load()) connection.get(path);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  HttpConnection loadedConnection(options.httpPort);
  Sample loaded;
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(options.seconds * 2);
  while (std::chrono::steady_clock::now() < end || loaded.ms.size() < 5) {
    const Sample one = timeSequential([&] { loadedConnection.get(probe); }, 1);
    loaded.ms.push_back(one.ms.front());
  }
  stop = true;
  for (std::thread& thread : load) thread.join();
  std::printf(
      "\n| GET /events/count/alert | idle median | loaded median | loaded p90 | "
      "p90 loaded / idle median (target <= 10x) |\n|---|---|---|---|---|\n");
  std::printf(
      "| 8 clients on /stats/ and /events/alertsbyhours | %.2f ms | %.2f ms | "
      "%.2f ms | %.1fx |\n",
      idle.median(), loaded.median(), loaded.percentile(0.9),
      loaded.percentile(0.9) / idle.median());
}

// The server's CPU time per request on 2 keep-alive connections, for a
// browser's preflight (no Redis) and for the event count; needs the
// server's pid.
void runCpu(const Options& options) {
  struct Probe {
    const char* route;
    const char* method;
    const char* path;
    const char* headers;
    const char* target;
  };
  const Probe probes[] = {
      {"OPTIONS /rules/add/ (preflight)", "OPTIONS", "/rules/add/",
       "Origin: http://127.0.0.1:3000\r\nAccess-Control-Request-Method: POST\r\n"
       "Access-Control-Request-Headers: content-type\r\n",
       "<= 25 us"},
      {"GET /events/count/alert", "GET", "/events/count/alert", "", "-"},
  };
  std::printf("\n| Route | CPU per request (server, 2 connections) | Requests | Target |\n");
  std::printf("|---|---|---|---|\n");
  for (const Probe& probe : probes) {
    std::vector<std::unique_ptr<HttpConnection>> pool;
    for (int c = 0; c < 2; ++c) pool.push_back(std::make_unique<HttpConnection>(options.httpPort));
    for (auto& connection : pool) connection->request(probe.method, probe.path, probe.headers);
    std::atomic<long> served{0};
    const double before = cpuMicroseconds(options.serverPid);
    rate(
        [&](int t) {
          pool[t]->request(probe.method, probe.path, probe.headers);
          ++served;
        },
        2, options.seconds);
    const double used = cpuMicroseconds(options.serverPid) - before;
    std::printf("| %s | %.1f us | %ld | %s |\n", probe.route, used / served.load(), served.load(),
                probe.target);
    std::fflush(stdout);
  }
}

// Each whole-list route once, then the server's resident peak.
void runMemory(const Options& options) {
  HttpConnection connection(options.httpPort);
  for (const char* path : {"/events/alertssignatures", "/events/alertsbyhours", "/stats/",
                           "/stats/pkts/", "/net/historicalmap/", "/events/search/1"}) {
    connection.get(path);
  }
  std::printf("peak resident KiB: %ld\n", peakResidentKiB(options.serverPid));
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (flag == "--http-port")
      options.httpPort = std::atoi(value), ++i;
    else if (flag == "--redis-port")
      options.redisPort = std::atoi(value), ++i;
    else if (flag == "--server-pid")
      options.serverPid = std::atoi(value), ++i;
    else if (flag == "--iterations")
      options.iterations = std::atoi(value), ++i;
    else if (flag == "--seconds")
      options.seconds = std::atof(value), ++i;
    else if (flag == "--memory-only")
      options.memoryOnly = true;
    else if (flag == "--cpu-only")
      options.cpuOnly = true;
    else if (flag == "--only")
      options.only = value, ++i;
    else
      throw std::runtime_error("unknown argument " + flag);
  }
  if (options.httpPort == 0 || options.redisPort == 0) {
    throw std::runtime_error("usage: pavora_bench --http-port P --redis-port R ...");
  }
  return options;
}

}  // namespace

}  // namespace bench

int main(int argc, char** argv) {
  try {
    const bench::Options options = bench::parse(argc, argv);
    bench::setFloorPort(options.redisPort);
    if (options.memoryOnly) {
      bench::runMemory(options);
      return 0;
    }
    if (options.cpuOnly) {
      bench::runCpu(options);
      return 0;
    }
    bench::runTable(options);
    if (options.only.empty()) bench::runUnderLoad(options);
    if (options.only.empty() && options.serverPid != 0) bench::runCpu(options);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pavora_bench: %s\n", e.what());
    return 1;
  }
}
