// Placeholder matcher (linear); replaced by the segment trees.
#include "http/Router.h"

namespace http {

struct Router::Node {};
struct Router::Tree {
  std::string method;
  std::vector<std::pair<std::vector<std::string>, size_t>> routes;
  std::vector<const char*> patterns;
};

namespace {
std::vector<std::string_view> split(std::string_view path) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '/') ++i;
    size_t j = i;
    while (j < path.size() && path[j] != '/') ++j;
    if (j > i) out.push_back(path.substr(i, j - i));
    i = j;
  }
  return out;
}
}  // namespace

Router::Router() = default;
Router::~Router() = default;
Router::Router(Router&&) noexcept = default;

void Router::add(std::string_view method, const char* pattern, size_t index) {
  Tree* tree = nullptr;
  for (Tree& t : trees_)
    if (t.method == method) tree = &t;
  if (tree == nullptr) {
    trees_.push_back(Tree{std::string(method), {}, {}});
    tree = &trees_.back();
  }
  std::vector<std::string> segments;
  for (std::string_view s : split(pattern)) segments.emplace_back(s);
  tree->routes.emplace_back(std::move(segments), index);
}

namespace {
// -1: no match; otherwise a rank string where literal beats named.
bool matches(const std::vector<std::string>& pattern, const std::vector<std::string_view>& path,
             std::string& rank) {
  if (pattern.size() != path.size()) return false;
  rank.clear();
  for (size_t i = 0; i < path.size(); ++i) {
    if (!pattern[i].empty() && pattern[i][0] == ':') {
      rank += '1';
    } else if (pattern[i] == path[i]) {
      rank += '0';
    } else {
      return false;
    }
  }
  return true;
}
}  // namespace

Router::Match Router::match(std::string_view method, std::string_view path) const {
  const std::vector<std::string_view> parts = split(path);
  Match result;
  std::string rank, best;
  std::vector<std::string> allowed;
  for (const Tree& tree : trees_) {
    const bool own = tree.method == method;
    for (const auto& [pattern, index] : tree.routes) {
      if (parts.empty() || !matches(pattern, parts, rank)) continue;
      if (!own) {
        allowed.push_back(tree.method);
        break;
      }
      if (result.outcome == Outcome::kFound && !(rank < best)) continue;
      best = rank;
      result.outcome = Outcome::kFound;
      result.route = index;
      result.segments.clear();
      for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i][0] == ':') result.segments.emplace_back(pattern[i], std::string(parts[i]));
      }
    }
  }
  if (result.outcome == Outcome::kFound) return result;
  if (allowed.empty()) return result;
  result.outcome = Outcome::kNotAllowed;
  for (auto it = allowed.rbegin(); it != allowed.rend(); ++it) {
    if (!result.allow.empty()) result.allow += ", ";
    result.allow += *it;
  }
  return result;
}

}  // namespace http
