// The router: which route of the table a request's method and path reach,
// with the raw text of its named segments, or why none does (404, or 405
// with the methods the path has). Knows nothing of the routes' handlers: a
// route is its index in the order the table added it.
#ifndef HTTP_ROUTER_H_
#define HTTP_ROUTER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http {

class Router {
 public:
  Router();
  ~Router();
  Router(Router&&) noexcept;
  Router& operator=(Router&&) noexcept;

  // Adds route `index` for `method` ("GET", "POST", ...) and `pattern`
  // ("/events/:event_type": a segment that starts with ":" matches any one
  // segment and is named by it, colon included). Throws std::invalid_argument
  // when `method` has a route of the same pattern already.
  void add(std::string_view method, const char* pattern, size_t index);

  enum class Outcome {
    kFound,       // `route` and `segments` say which route and with what
    kNotAllowed,  // no route of this method; `allow` lists the methods that have one
    kNotFound,    // no route of any method
  };

  struct Match {
    Outcome outcome = Outcome::kNotFound;
    size_t route = 0;
    // The pattern's named segments with their colon, values as raw text of
    // the path (no escape decoded).
    std::vector<std::pair<std::string, std::string>> segments;
    // For kNotAllowed: the Allow header's value ("OPTIONS, DELETE, GET").
    std::string allow;
  };

  // Where `method` and `path` (the target without its query, as sent) lead.
  // Runs of slashes count as one and a trailing slash is ignored; the first
  // character is dropped whatever it is (the leading slash of a plain path:
  // "xrules" is "/rules"). A literal segment takes precedence over a named
  // one at the same position, among the routes of the request's own method,
  // and a literal branch that fails falls back to the named one. `allow`
  // lists the other methods latest-added first. Never allocates but for the
  // segments found and the Allow text.
  Match match(std::string_view method, std::string_view path) const;

 private:
  struct Node;
  struct Tree;
  class Segments;

  // Whether a route of the tree below `node` takes the rest of the path in
  // `segments`; its index and named segments (deepest first) go to `match`
  // when that is not null.
  static bool find(const Node& node, Segments segments, Match* match);

  std::vector<Tree> trees_;  // one per method, in the order methods first appeared
};

}  // namespace http

#endif  // HTTP_ROUTER_H_
