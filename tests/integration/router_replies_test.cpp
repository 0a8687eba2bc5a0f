// What the router answers, byte for byte: which route a path reaches (slash
// runs, trailing slashes, case), how a typed segment is read, how segments
// are decoded, and the router's own 404 and 405 replies with their Allow
// lists. Written down from the server as it answers today, so that a change
// of the HTTP library underneath keeps every one of them. Requests go out as
// raw bytes, so no client normalises a path on the way.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "support/Harness.h"

namespace {

// True when `reply` holds its head and as many body bytes as its
// Content-Length says.
bool complete(const std::string& reply) {
  const size_t headEnd = reply.find("\r\n\r\n");
  if (headEnd == std::string::npos) return false;
  const size_t length = reply.find("\r\nContent-Length: ");
  if (length == std::string::npos || length > headEnd) return false;
  return reply.size() - (headEnd + 4) >= std::stoul(reply.substr(length + 18));
}

// `request` written as is on a new connection; the first reply as
// received, at most 5 s.
std::string replyToBytes(const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(build_settings::kHttpPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    // Read up to the end of the body its Content-Length announces: the
    // server may keep the connection open after the reply.
    char buffer[65536];
    for (ssize_t n; !complete(reply) && (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply;
}

// One request of `method` and `target` with `headers` ("Name: value\r\n"
// each) on a new connection that asks to be closed.
std::string replyTo(const std::string& method, const std::string& target,
                    const std::string& headers = "") {
  return replyToBytes(method + " " + target +
                      " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers + "\r\n");
}

// The reply without its Connection header, which follows the client's wish
// and is not part of what a route answers.
std::string withoutConnectionHeader(const std::string& reply) {
  const size_t at = reply.find("\r\nConnection: ");
  if (at == std::string::npos || at > reply.find("\r\n\r\n")) return reply;
  return reply.substr(0, at) + reply.substr(reply.find("\r\n", at + 2));
}

const std::string kRulesCors =
    "Access-Control-Allow-Headers: Origin, X-Requested-With, Content-Type, Accept, "
    "Authorization\r\n"
    "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n"
    "Access-Control-Allow-Origin: *\r\n";

std::string plain(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string notFound() { return plain("404 Not Found", "", "Could not find a matching route"); }
std::string notAllowed(const std::string& allow) {
  return plain("405 Method Not Allowed", "Allow: " + allow + "\r\n", "Method Not Allowed");
}
std::string rulesError(const std::string& status, const std::string& text) {
  return plain(status, kRulesCors, text);
}

// The one rule of the fixture as the lookup by sid answers it.
const std::string kRuleLine =
    R"(alert tcp any any -> any any (msg:"a b"; content:"a+b"; sid:7; rev:1;))";
std::string ruleSeven() {
  const std::string body =
      "{\n\t\"action\" : \"alert\",\n\t\"classtype\" : \"unlnown\",\n\t\"content\" : "
      "\"alert tcp any any -> any any (msg:\\\"a b\\\"; content:\\\"a+b\\\"; sid:7; rev:1;)\",\n"
      "\t\"enabled\" : true,\n\t\"msg\" : \"\\\"a b\\\"\",\n\t\"protocol\" : \"tcp\",\n"
      "\t\"rev\" : 1,\n\t\"sid\" : 7\n}";
  return plain("200 OK", "Content-Type: application/json\r\n" + kRulesCors, body);
}

class RouterRepliesTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    harness::writeFile(config_.path("rules_file"), kRuleLine + "\n");
  }
};

struct Case {
  const char* method;
  std::string target;
  std::string reply;
};

void expectReplies(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target.substr(0, 80));
    EXPECT_EQ(withoutConnectionHeader(replyTo(c.method, c.target)), c.reply);
  }
}

TEST_F(RouterRepliesTest, PathsThatReachNoRouteOrNotThisMethod) {
  expectReplies({
      {"GET", "/", notFound()},
      {"GET", "/?x=1", notFound()},
      {"GET", "/nope", notFound()},
      {"POST", "/nope", notFound()},
      {"OPTIONS", "/nope", notFound()},
      {"GET", "/RULES", notFound()},
      {"GET", "/stats/./", notFound()},
      {"GET", "/stats/../stats/", notFound()},
      {"GET", "/ioc/filter/", notFound()},
      {"GET", "/ioc/filter/30/extra", notFound()},
      {"POST", "/rules", notAllowed("GET")},
      // A reply to HEAD carries its head alone.
      {"HEAD", "/rules", notAllowed("GET").substr(0, notAllowed("GET").find("\r\n\r\n") + 4)},
      {"PATCH", "/rules", notAllowed("GET")},
      {"PUT", "/rules/1?x=1", notAllowed("GET")},
      {"OPTIONS", "/rules", notAllowed("GET")},
      {"OPTIONS", "/events/alert", notAllowed("GET")},
      {"DELETE", "/events/delete/", notAllowed("GET")},
      {"PUT", "/events/delete/x", notAllowed("OPTIONS, DELETE, GET")},
      {"POST", "/events/delete/x", notAllowed("OPTIONS, DELETE, GET")},
      {"PUT", "/rules/toggle/", notAllowed("POST, OPTIONS, GET")},
  });
}

TEST_F(RouterRepliesTest, SlashRunsAndTrailingSlashesReachTheSameRoute) {
  expectReplies({
      {"GET", "/rules/7", ruleSeven()},
      {"GET", "/rules//7", ruleSeven()},
      {"GET", "/rules/7/", ruleSeven()},
      {"GET", "//rules/7", ruleSeven()},
      // A path that is both a fixed route and a segment of another: the
      // lookup by sid takes it, and reads "toggle" as a number.
      {"GET", "/rules/toggle/", rulesError("500 Internal Server Error", "Bad lexical cast")},
      {"OPTIONS", "/rules/toggle", plain("200 OK", kRulesCors, "")},
      {"OPTIONS", "/rules/toggle/", plain("200 OK", kRulesCors, "")},
      {"OPTIONS", "/events/delete/x", plain("200 OK", kRulesCors, "")},
  });
}

TEST_F(RouterRepliesTest, TypedSegmentReadsItsLeadingNumber) {
  const auto missing = [](const std::string& sid) {
    return rulesError("404 Not Found", "Rule with SID " + sid + " not found");
  };
  expectReplies({
      {"GET", "/rules/07", ruleSeven()},
      {"GET", "/rules/12abc", missing("12")},
      {"GET", "/rules/+5", missing("5")},
      {"GET", "/rules/-1", missing("4294967295")},
      {"GET", "/rules/0x7", missing("0")},
      {"GET", "/rules/4294967296", rulesError("500 Internal Server Error", "Bad lexical cast")},
      // A typed segment is read before decoding.
      {"GET", "/rules/%31", rulesError("500 Internal Server Error", "Bad lexical cast")},
  });
}

TEST_F(RouterRepliesTest, TextSegmentsAreDecodedOnce) {
  for (const char* target : {"/rules/signature/a%20b", "/rules/signature/%61",
                             "/rules/signature/a%2Bb", "/rules/signature/a+b"}) {
    SCOPED_TRACE(target);
    const std::string reply = withoutConnectionHeader(replyTo("GET", target));
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("X-Total-Count: 1\r\n"), std::string::npos) << reply;
  }
  const std::string none = withoutConnectionHeader(replyTo("GET", "/rules/signature/a%2520b"));
  EXPECT_NE(none.find("X-Total-Count: 0\r\n"), std::string::npos) << none;
  expectReplies({{"GET", "/rules/signature/%zz", rulesError("500 Internal Server Error", "stoi")}});
}

// Every path of the route table (named segments filled in) and its near
// misses, with each method. A request from an origin other than the allowed
// one is refused 403 by whatever route it reaches before anything of it
// runs, so a routed request shows as that refusal and a path that no route
// of the method takes as the router's own 404 or 405.
TEST_F(RouterRepliesTest, EveryPathOfTheTableWithEachMethod) {
  config_.setString("allowed_origin", "https://ui.example").write();
  const struct {
    const char* path;
    const char* methods;  // the methods routed, as the Allow list has them; "" none
  } paths[] = {
      {"/events/alert", "GET"},
      {"/events/count/alert", "GET"},
      {"/events/alert/7", "GET"},
      {"/events/search/7", "GET"},
      {"/events/delete/alert", "OPTIONS, DELETE, GET"},
      {"/events/find/alert", "GET"},
      {"/events/check/alert", "GET"},
      {"/events/fast", "GET"},
      {"/events/alertsmap", "GET"},
      {"/events/alertssignatures", "GET"},
      {"/events/alertsbyhours", "GET"},
      {"/events/anomaliesbyhours", "GET"},
      {"/rules", "GET"},
      {"/rules/7", "GET"},
      {"/rules/action/alert", "GET"},
      {"/rules/status/enabled", "GET"},
      {"/rules/protocol/tcp", "GET"},
      {"/rules/search", "GET"},
      {"/rules/toggle/", "POST, OPTIONS, GET"},
      {"/rules/add/", "POST, OPTIONS, GET"},
      {"/rules/validate/", "POST, OPTIONS, GET"},
      {"/rules/delete/", "POST, OPTIONS, GET"},
      {"/rules/update/", "POST, OPTIONS, GET"},
      {"/rules/additional/status/", "GET"},
      {"/rules/additional/update/", "POST, OPTIONS"},
      {"/validate_rule_endpoint", "POST, OPTIONS"},
      {"/suricata/reload/", "GET"},
      {"/rules/reload/blocking", "GET"},
      {"/rules/reload/nonblocking", "GET"},
      {"/rules/duplicated/7", "GET"},
      {"/suricata/start/", "GET"},
      {"/suricata/stop/", "GET"},
      {"/suricata/update/", "GET"},
      {"/rules/signature/a", "GET"},
      {"/daemon/start/", "GET"},
      {"/daemon/stop/", "GET"},
      {"/suppressions/", "GET"},
      {"/suppressions/add/", "POST, OPTIONS"},
      {"/suppressions/delete/", "POST, OPTIONS"},
      {"/ioc/download/", "GET"},
      {"/ioc/filter/30", "GET"},
      {"/ioc/", "GET"},
      {"/ioc/ioc_type/url", "GET"},
      {"/ioc/ioc_id/1", "GET"},
      {"/ioc/ioc_status/enabled", "GET"},
      {"/ioc/toggle/", "POST, OPTIONS"},
      {"/ioc/fetch/", "GET"},
      {"/ioc/rules/status/", "GET"},
      {"/ioc/rules/modify/", "POST, OPTIONS"},
      {"/stats/", "GET"},
      {"/stats/pkts/", "GET"},
      {"/stats/alerts/", "GET"},
      {"/stats/cpu/", "GET"},
      {"/stats/vm/", "GET"},
      {"/stats/pm/", "GET"},
      {"/stats/histogramm/", "GET"},
      {"/suricata/running/", "GET"},
      {"/stats/update/", "GET"},
      {"/net/map/", "GET"},
      {"/net/historicalmap/", "GET"},
      {"/health", "GET"},
      {"/metrics", "GET"},
      {"/openapi.json", "GET"},
      {"/docs", "GET"},
      // Near misses: a segment too few or too many, a literal's prefix,
      // another case. A literal with no route of its own falls to the
      // named segment beside it.
      {"/events", ""},
      {"/events/count", "GET"},
      {"/events/count/alert/x", ""},
      {"/events/alert/7/x", ""},
      {"/events/delete", "GET"},
      {"/events/delete/alert/x", ""},
      {"/events/fast/x", "GET"},
      {"/rules/action", "GET"},
      {"/rules/action/alert/x", ""},
      {"/rules/reload", "GET"},
      {"/rules/reload/blocking/x", ""},
      {"/rules/additional", "GET"},
      {"/rules/additional/status/x", ""},
      {"/rules/additional/update/x", ""},
      {"/rules/toggle/x", ""},
      {"/rules/Toggle/", "GET"},
      {"/rules/signature/a/b", ""},
      {"/validate_rule", ""},
      {"/validate_rule_endpoint/x", ""},
      {"/suricata", ""},
      {"/suricata/reload/x", ""},
      {"/daemon", ""},
      {"/suppressions/x", ""},
      {"/suppressions/add/x", ""},
      {"/ioc/filter", ""},
      {"/ioc/x", ""},
      {"/ioc/rules", ""},
      {"/ioc/rules/modify/x", ""},
      {"/stat", ""},
      {"/stats/cpu/x", ""},
      {"/net", ""},
      {"/healthz", ""},
      {"/health/x", ""},
      {"/Health", ""},
      {"/docs/x", ""},
      {"/openapi", ""},
  };
  const std::string methods[] = {"GET", "POST", "PUT", "DELETE", "OPTIONS", "HEAD", "PATCH"};
  for (const auto& p : paths) {
    for (const std::string& method : methods) {
      SCOPED_TRACE(method + " " + p.path);
      const std::string reply =
          withoutConnectionHeader(replyTo(method, p.path, "Origin: https://other.example\r\n"));
      const std::string allowed = std::string(", ") + p.methods + ", ";
      // A reply to HEAD carries its head alone.
      const std::string body = method == "HEAD" ? "" : "Origin not allowed";
      if (allowed.find(", " + method + ", ") != std::string::npos) {
        EXPECT_EQ(reply.substr(0, reply.find("\r\n")), "HTTP/1.1 403 Forbidden");
        EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), body);
      } else {
        const std::string expected = *p.methods == '\0' ? notFound() : notAllowed(p.methods);
        EXPECT_EQ(reply,
                  method == "HEAD" ? expected.substr(0, expected.find("\r\n\r\n") + 4) : expected);
      }
    }
  }
}

// Targets that are no plain path: the router cuts them the same way, after
// dropping their first character (the leading slash of a plain path).
TEST_F(RouterRepliesTest, TargetsThatAreNoPlainPath) {
  expectReplies({
      {"GET", "xrules/7", ruleSeven()},
      {"GET", "rules/7", notFound()},
      {"GET", "x/rules/7", notFound()},
      {"GET", "http://127.0.0.1/rules/7", notFound()},
      {"GET", "*", notFound()},
      {"OPTIONS", "*", notFound()},
      // Only "?" ends the path; "#" is a byte of its segment.
      {"GET", "/rules/7#x", ruleSeven()},
      {"GET", "/rules#x", notFound()},
      {"GET", "/rules/7?x#y", ruleSeven()},
      {"GET", "/rules/7?a=/b//////////c", ruleSeven()},
      {"GET", "/rules/7?", ruleSeven()},
      {"TRACE", "/rules", notAllowed("GET")},
      {"CONNECT", "/rules/7", notAllowed("GET")},
      {"GET", "/" + std::string(8191, 'a'), notFound()},
      {"GET", "/events/count/alert/" + std::string(8172, 'a'), notFound()},
  });
}

// The segment reaches the route as sent: "%2F" is no slash, and names the
// list "a%2Fb".
TEST_F(RouterRepliesTest, EscapedSlashStaysInItsSegment) {
  harness::TestRedis::rpush("a%2Fb", {R"({"event_type":"alert"})"});
  harness::TestRedis::rpush("a/b", {R"({"event_type":"alert"})", R"({"event_type":"alert"})"});
  const std::string reply = withoutConnectionHeader(replyTo("GET", "/events/a%2Fb"));
  EXPECT_NE(reply.find("\r\nX-Total-Count: 1\r\n"), std::string::npos) << reply;
  // Two segments are an event by id, whose id is no number.
  EXPECT_EQ(withoutConnectionHeader(replyTo("GET", "/events/a/b")),
            plain("500 Internal Server Error", "Access-Control-Allow-Origin: *\r\n", "stoll"));
}

// Requests refused before any router: an unknown method (methods are
// case-sensitive) and a target with nothing before its query, answered as
// the front end has always seen them; and requests the HTTP parser cannot
// take (a request line it cannot split, a version it does not speak, a
// request line past its buffer), refused with a status of their own and
// the connection closed.
TEST_F(RouterRepliesTest, RequestsTheParserRefuses) {
  const std::string unknownMethod = plain("400 Bad Request", "", "Unknown HTTP request method");
  const std::string emptyPath = plain("500 Internal Server Error", "", "Invalid zero-length URL.");
  const struct {
    std::string request;
    std::string reply;
  } cases[] = {
      {"get /rules HTTP/1.1\r\n\r\n", unknownMethod},
      {"FOO /rules HTTP/1.1\r\n\r\n", unknownMethod},
      {"GET ?x=1 HTTP/1.1\r\n\r\n", emptyPath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 40));
    EXPECT_EQ(withoutConnectionHeader(replyToBytes(c.request)), c.reply);
  }
  const struct {
    std::string request;
    const char* status;
  } refused[] = {
      {"GET\t/rules HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
      {"GET /rules\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400 "},
      {"GET  HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
      {"GET /rules HTTP/2.0\r\n\r\n", "HTTP/1.1 505 "},
      {"GET /" + std::string(300000, 'a') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414 "},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.request.substr(0, 40));
    const std::string reply = replyToBytes(c.request);
    EXPECT_EQ(reply.substr(0, 13), c.status) << reply;
    EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos) << reply;
  }
  // The status line follows the request's version.
  EXPECT_EQ(withoutConnectionHeader(replyToBytes("GET /nope HTTP/1.0\r\n\r\n")),
            "HTTP/1.0 404 Not Found\r\nContent-Length: 31\r\n\r\nCould not find a matching route");
}

// The order of a reply's headers: its content type first, then the route's
// own headers last added first, then the cross-origin set (Allow-Headers,
// Allow-Methods, Vary, Allow-Origin), and Content-Length last.
TEST_F(RouterRepliesTest, HeadersComeInTheirOrder) {
  config_.setString("allowed_origin", "https://ui.example").write();
  const std::string origin = "Vary: Origin\r\nAccess-Control-Allow-Origin: https://ui.example\r\n";
  const std::string rulesCors =
      "Access-Control-Allow-Headers: Origin, X-Requested-With, Content-Type, Accept, "
      "Authorization\r\n"
      "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n" +
      origin;
  const std::string rulesPage =
      "[\n\t{\n\t\t\"action\" : \"alert\",\n\t\t\"classtype\" : \"unlnown\",\n\t\t\"content\" : "
      "\"alert tcp any any -> any any (msg:\\\"a b\\\"; content:\\\"a+b\\\"; sid:7; rev:1;)\",\n"
      "\t\t\"enabled\" : true,\n\t\t\"msg\" : \"\\\"a b\\\"\",\n\t\t\"protocol\" : \"tcp\",\n"
      "\t\t\"rev\" : 1,\n\t\t\"sid\" : 7\n\t}\n]";
  const std::string totalCount = "Access-Control-Expose-Headers: X-Total-Count\r\nX-Total-Count: ";
  expectReplies({
      {"GET", "/rules",
       plain("200 OK", "Content-Type: application/json\r\n" + totalCount + "1\r\n" + rulesCors,
             rulesPage)},
      {"GET", "/events/alert",
       plain("200 OK", "Content-Type: application/json\r\n" + totalCount + "0\r\n" + origin, "[]")},
      {"GET", "/rules/" + std::string(8200, '7'),
       plain("414 URI Too Long", "Content-Type: text/plain\r\n" + origin,
             "Request target longer than 8192 bytes")},
      {"PUT", "/rules/toggle", notAllowed("POST, OPTIONS, GET")},
      {"GET", "/nope", notFound()},
  });
  const std::string refused =
      plain("403 Forbidden", "Content-Type: text/plain\r\n" + rulesCors, "Origin not allowed");
  EXPECT_EQ(withoutConnectionHeader(replyTo("GET", "/rules", "Origin: https://other.example\r\n")),
            refused);

  harness::TestRedis::command({"SET", "lock:ferryd", "1"});
  const std::string wait = std::to_string(build_settings::kLockWaitSeconds);
  EXPECT_EQ(withoutConnectionHeader(replyTo("GET", "/events/alert")),
            plain("503 Service Unavailable", "Retry-After: " + wait + "\r\n" + origin,
                  "The companion daemon holds lock:ferryd; gave up waiting after " + wait + " s"));
}

}  // namespace
