// The router: a tree of path segments per method, searched depth first with
// literal children before named ones, backing out of a branch that fails.
#include "http/Router.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace http {

// The segments of a path, read in place. The path is cut as the router has
// always cut it: runs of slashes count as one, one trailing slash is
// dropped, and so is the first character, which is the leading slash of any
// target in origin form. A path that does not start with a slash thus loses
// its first character, and when a slash follows that character its first
// segment is empty ("x/rules" is "", "rules").
class Router::Segments {
 public:
  explicit Segments(std::string_view path) : rest_(path) {
    if (rest_.empty()) return;
    if (rest_.front() != '/') {
      rest_.remove_prefix(1);
      if (!rest_.empty() && rest_.front() == '/') {
        skipSlashes();
        // "x/" and "x//" hold no segment; "x/a" starts with an empty one.
        emptyFirst_ = !rest_.empty();
      }
      return;
    }
    skipSlashes();
  }

  // Copies the next segment into `segment`; false when there is none left.
  bool next(std::string_view& segment) {
    if (emptyFirst_) {
      emptyFirst_ = false;
      segment = {};
      return true;
    }
    if (rest_.empty()) return false;
    const size_t end = std::min(rest_.find('/'), rest_.size());
    segment = rest_.substr(0, end);
    rest_.remove_prefix(end);
    skipSlashes();
    return true;
  }

 private:
  void skipSlashes() {
    const size_t end = rest_.find_first_not_of('/');
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
  }

  std::string_view rest_;    // what follows the segments read so far, from a segment's start
  bool emptyFirst_ = false;  // an empty segment comes before `rest_`
};

struct Router::Node {
  // Children by a literal segment and by a named one (":sid"), each in the
  // order the routes added them; names are unique within each list.
  std::vector<std::pair<std::string, std::unique_ptr<Node>>> literals;
  std::vector<std::pair<std::string, std::unique_ptr<Node>>> named;
  bool routed = false;  // a route ends here
  size_t route = 0;     // its index, when `routed`
};

struct Router::Tree {
  std::string method;
  Node root;
};

namespace {

// The child of `children` named `segment`, made when there is none.
template <typename Node>
Node& childOf(std::vector<std::pair<std::string, std::unique_ptr<Node>>>& children,
              std::string_view segment) {
  for (auto& [name, child] : children) {
    if (name == segment) return *child;
  }
  children.emplace_back(std::string(segment), std::make_unique<Node>());
  return *children.back().second;
}

}  // namespace

Router::Router() = default;
Router::~Router() = default;
Router::Router(Router&&) noexcept = default;
Router& Router::operator=(Router&&) noexcept = default;

void Router::add(std::string_view method, const char* pattern, size_t index) {
  auto tree = std::find_if(trees_.begin(), trees_.end(),
                           [method](const Tree& t) { return t.method == method; });
  if (tree == trees_.end()) {
    trees_.emplace_back();
    tree = trees_.end() - 1;
    tree->method = std::string(method);
  }
  Node* node = &tree->root;
  Segments segments(pattern);
  for (std::string_view segment; segments.next(segment);) {
    const bool isNamed = !segment.empty() && segment.front() == ':';
    node = &childOf(isNamed ? node->named : node->literals, segment);
  }
  if (node->routed) {
    throw std::invalid_argument("Route " + std::string(method) + " " + pattern + " added twice");
  }
  node->routed = true;
  node->route = index;
}

bool Router::find(const Node& node, Segments segments, Match* match) {
  std::string_view segment;
  if (!segments.next(segment)) {
    if (node.routed && match != nullptr) match->route = node.route;
    return node.routed;
  }
  for (const auto& [name, child] : node.literals) {
    if (name == segment) {
      if (find(*child, segments, match)) return true;
      break;
    }
  }
  for (const auto& [name, child] : node.named) {
    if (!find(*child, segments, match)) continue;
    // Filled from the deepest segment up; match() puts them in path order.
    if (match != nullptr) match->segments.emplace_back(name, segment);
    return true;
  }
  return false;
}

Router::Match Router::match(std::string_view method, std::string_view path) const {
  Match match;
  const Segments segments(path);
  const Tree* own = nullptr;
  for (const Tree& tree : trees_) {
    if (tree.method == method) own = &tree;
  }
  if (own != nullptr && find(own->root, segments, &match)) {
    match.outcome = Outcome::kFound;
    std::reverse(match.segments.begin(), match.segments.end());
    return match;
  }
  // The other methods that have the path, the latest to appear first.
  for (auto tree = trees_.rbegin(); tree != trees_.rend(); ++tree) {
    if (&*tree == own || !find(tree->root, segments, nullptr)) continue;
    if (!match.allow.empty()) match.allow += ", ";
    match.allow += tree->method;
  }
  match.outcome = match.allow.empty() ? Outcome::kNotFound : Outcome::kNotAllowed;
  return match;
}

}  // namespace http
