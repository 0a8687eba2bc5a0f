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

// One request written as is on a new connection that asks to be closed; the
// whole reply as received, at most 5 s.
std::string exchange(const std::string& method, const std::string& target) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(build_settings::kHttpPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    const std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      // Read up to the end of the body its Content-Length announces: the
      // server may keep the connection open after the reply.
      char buffer[65536];
      for (ssize_t n; !complete(reply) && (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
        reply.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  return reply;
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
  const char* target;
  std::string reply;
};

void expectReplies(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target);
    EXPECT_EQ(withoutConnectionHeader(exchange(c.method, c.target)), c.reply);
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
    const std::string reply = withoutConnectionHeader(exchange("GET", target));
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("X-Total-Count: 1\r\n"), std::string::npos) << reply;
  }
  const std::string none = withoutConnectionHeader(exchange("GET", "/rules/signature/a%2520b"));
  EXPECT_NE(none.find("X-Total-Count: 0\r\n"), std::string::npos) << none;
  expectReplies({{"GET", "/rules/signature/%zz", rulesError("500 Internal Server Error", "stoi")}});
}

}  // namespace
