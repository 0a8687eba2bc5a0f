// HTTP handlers of the "/ioc/" routes: add the Threats cross-origin set, read
// the request, call the data operation, send one reply.
#include "threats/Threats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <future>
#include <limits>

#include "common/JsonBody.h"
#include "common/JsonText.h"
#include "http/ReplyCompat.h"
#include "threats/ThreatsSupport.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

// A page key rejected with its 400 text.
class BadPageParameter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The query key `key` read as a decimal int (leading blanks and a sign
// allowed, trailing characters ignored), `fallback` when absent or below 1.
int32_t pageKey(const Request& request, const char* key, int32_t fallback,
                const char* errorText) {
  const auto text = request.query().get(key);
  if (!text) return fallback;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  if (end == text->c_str() || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    throw BadPageParameter(errorText);
  }
  return value < 1 ? fallback : static_cast<int32_t>(value);
}

// Reads the page keys, runs `find` and sends the styled array (or "null").
template <typename Find>
void sendPage(const Request& request, ResponseWriter& response, Find find) {
  try {
    const int32_t page = pageKey(request, "page", 1, "Invalid 'page' parameter");
    const int32_t page_size = pageKey(request, "page_size", 10, "Invalid 'page_size' parameter");
    Json::Value records;
    for (const ThreatItem& item : find(page, page_size)) records.append(item.toJson());
    response.send(Code::Ok, records.toStyledString(), MIME(Application, Json));
  } catch (const BadPageParameter& e) {
    reply::sendText(response, Code::Bad_Request, e.what());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

// A day count refused with its 400 text.
class BadDayCount : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The segment `n_days`: plain decimal digits up to Threats::kMaxDays. A
// segment that does not begin with a number keeps the routing library's
// conversion error ("Bad lexical cast"); any other text throws BadDayCount,
// for the stream conversion alone would take "-1", "0x10" or "1e3" by their
// leading characters and rebuild the store from them.
int32_t dayCount(const Request& request) {
  const std::string text = reply::pathParam(request, ":n_days");
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) {
    request.param(":n_days").as<int32_t>();
    throw BadDayCount("Invalid number of days");
  }
  int32_t days = 0;
  for (const char c : text) {
    days = days * 10 + (c - '0');
    if (days > Threats::kMaxDays) throw BadDayCount("Invalid number of days");
  }
  return days;
}

// The switch's reply: a styled {"message", "status"} object, no content type.
void sendToggleReply(ResponseWriter& response, Code code, const std::string& status,
                     const std::string& message) {
  Json::Value body;
  body["message"] = message;
  body["status"] = status;
  reply::sendText(response, code, body.toStyledString());
}

// The "content" of a switch request as text: "" when missing, null or of no
// scalar type; a number gives its decimal text.
std::string contentOf(const Json::Value& body) {
  if (!body.isObject()) return "";
  const Json::Value& content = body["content"];
  if (content.isNull() || content.isArray() || content.isObject()) return "";
  return content.asString();
}

// The uid at the start of `content`: leading white space skipped, then the
// digits up to the first other character. A text that does not start with a
// digit (a sign included) gives 0, which matches no record in practice; a
// number past 2^64 - 1 reads as that largest value.
uint64_t leadingUid(const std::string& content) {
  const size_t start = content.find_first_not_of(" \t\n\v\f\r");
  if (start == std::string::npos || !std::isdigit(static_cast<unsigned char>(content[start]))) {
    return 0;
  }
  return std::strtoull(content.c_str() + start, nullptr, 10);
}

}  // namespace

void Threats::addCORSHeaders(ResponseWriter& response) { cors::addRulesSet(response); }

void Threats::handleDownloadRequest(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    downloadAndUnzipAsync();
    reply::sendText(response, Code::Ok, "ZIP downloading and unzipping");
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Threats::getRecentThreats(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  int32_t n_days = 0;
  try {
    n_days = dayCount(request);
  } catch (const BadDayCount& e) {
    reply::sendText(response, Code::Bad_Request, e.what());
    return;
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());  // "Bad lexical cast"
    return;
  }
  try {
    std::future<bool> rebuild = std::async(std::launch::async, &Threats::processThreats, n_days);
    if (rebuild.get()) {
      reply::sendText(response, Code::Ok, "Threats processed successfully");
    } else {
      reply::sendError(response, "Error processing data");
    }
  } catch (const ThreatsException& e) {
    reply::sendError(response, e.what());  // the store could not be replaced
  } catch (const std::exception&) {
    reply::sendError(response, "Internal server error");
  }
}

void Threats::handleGetThreats(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendPage(request, response, &Threats::getThreats);
}

void Threats::handleFindThreatsById(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendPage(request, response, [&](int32_t page, int32_t page_size) {
    return findThreatsById(reply::pathParam(request, ":id"), page, page_size);
  });
}

void Threats::handleFindThreatsByIocType(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendPage(request, response, [&](int32_t page, int32_t page_size) {
    return findThreatsByIocType(reply::pathParam(request, ":ioc_type"), page, page_size);
  });
}

void Threats::handleFindThreatsByStatus(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendPage(request, response, [&](int32_t page, int32_t page_size) {
    return findThreatsByStatus(reply::pathParam(request, ":status"), page, page_size);
  });
}

void Threats::handleToggleThreatStatus(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    Json::Value body;
    std::string error;
    if (!threats_support::parseJson(request.body(), body, error)) {
      sendToggleReply(response, Code::Bad_Request, "error", "Invalid JSON format");
      return;
    }
    const std::string content = contentOf(body);
    if (content.empty()) {
      sendToggleReply(response, Code::Bad_Request, "error", "Content ID is missing");
      return;
    }
    ToggleThreatStatus(leadingUid(content));
    sendToggleReply(response, Code::Ok, "success", "Threat status was changed.");
  } catch (const std::exception& e) {
    sendToggleReply(response, Code::Internal_Server_Error, "error", e.what());
  }
}

void Threats::handleFetchIocs(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    fetch_iocs();
    reply::sendText(response, Code::Ok, "Action was success!");
  } catch (const std::exception& e) {
    reply::sendText(response, Code::Bad_Request, e.what());
  }
}

void Threats::handlegetThreatsRuleFilesStatus(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    reply::sendText(response, Code::Ok, getThreatsRuleFilesStatus());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Threats::handlemodifyRuleFilesStatus(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    // Any other document would read as "every file off".
    const std::optional<Json::Value> body = json_body::readObject(request.body());
    if (!body) return reply::sendText(response, Code::Bad_Request, "Invalid JSON");
    modifyRuleFilesStatus(*body);
    reply::sendText(response, Code::Ok, "Suricata config modyfied.");
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}
