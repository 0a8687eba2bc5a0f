// The router against a plain reference: every route pattern of the table
// tried one by one on the path's segments, a literal segment ranking before
// a named one at the first position where two matches differ. The first
// input byte picks the method, the rest is the path.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "http/Router.h"
#include "server/Routes.h"

namespace {

// The path's segments as the router has always cut them: the first
// character dropped (the leading slash), slash runs as one, a trailing
// slash ignored; after a first character other than a slash, a slash that
// follows it starts with an empty segment when anything follows.
std::vector<std::string_view> segmentsOf(std::string_view path) {
  std::vector<std::string_view> segments;
  if (path.empty()) return segments;
  const bool slashFirst = path.front() == '/';
  path.remove_prefix(1);
  if (!slashFirst && !path.empty() && path.front() == '/') {
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    if (!path.empty()) segments.emplace_back();
  }
  size_t at = 0;
  while (at < path.size()) {
    while (at < path.size() && path[at] == '/') ++at;
    if (at == path.size()) break;
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    segments.push_back(path.substr(at, end - at));
    at = end;
  }
  return segments;
}

// The rank of `pattern` on `segments` ("0" literal, "1" named per
// position), or nothing when it does not match.
bool rankOf(const char* pattern, const std::vector<std::string_view>& segments, std::string& rank) {
  const std::vector<std::string_view> parts = segmentsOf(pattern);
  if (parts.size() != segments.size()) return false;
  rank.clear();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!parts[i].empty() && parts[i].front() == ':') {
      rank += '1';
    } else if (parts[i] == segments[i]) {
      rank += '0';
    } else {
      return false;
    }
  }
  return true;
}

const http::Router& router() {
  static const http::Router* built = [] {
    auto* r = new http::Router;
    const std::vector<RouteEntry>& table = routeTable();
    for (size_t i = 0; i < table.size(); ++i) r->add(table[i].method, table[i].path, i);
    return r;
  }();
  return *built;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kMethods[] = {"GET", "POST", "DELETE", "OPTIONS", "PUT", "HEAD"};
  const std::string method = kMethods[data[0] % 6];
  const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
  const http::Router::Match match = router().match(method, path);

  const std::vector<std::string_view> segments = segmentsOf(path);
  const std::vector<RouteEntry>& table = routeTable();
  std::string rank;
  std::string best;
  size_t found = table.size();
  std::vector<std::string> methods;
  for (const RouteEntry& route : table) {
    bool seen = false;
    for (const std::string& m : methods) seen = seen || m == route.method;
    if (!seen) methods.emplace_back(route.method);
  }
  for (size_t i = 0; i < table.size(); ++i) {
    if (!rankOf(table[i].path, segments, rank)) continue;
    if (method == table[i].method) {
      if (found == table.size() || rank < best) {
        best = rank;
        found = i;
      }
    }
  }
  if (found != table.size()) {
    FUZZ_CHECK(match.outcome == http::Router::Outcome::kFound);
    FUZZ_CHECK(match.route == found);
    const std::vector<std::string_view> parts = segmentsOf(table[found].path);
    size_t named = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (parts[i].empty() || parts[i].front() != ':') continue;
      FUZZ_CHECK(named < match.segments.size());
      FUZZ_CHECK(match.segments[named].first == parts[i]);
      FUZZ_CHECK(match.segments[named].second == segments[i]);
      ++named;
    }
    FUZZ_CHECK(named == match.segments.size());
    return 0;
  }
  std::string allow;
  for (auto m = methods.rbegin(); m != methods.rend(); ++m) {
    if (*m == method) continue;
    bool has = false;
    for (const RouteEntry& route : table) {
      has = has || (*m == route.method && rankOf(route.path, segments, rank));
    }
    if (!has) continue;
    if (!allow.empty()) allow += ", ";
    allow += *m;
  }
  FUZZ_CHECK(match.outcome == (allow.empty() ? http::Router::Outcome::kNotFound
                                             : http::Router::Outcome::kNotAllowed));
  FUZZ_CHECK(match.allow == allow);
  return 0;
}
