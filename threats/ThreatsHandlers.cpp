// HTTP handlers of the "/ioc/" routes: each states its frame (the Threats
// cross-origin set, where its work runs, how its failures are answered) and a
// body that reads the request, calls the data operation and returns one reply.
#include <json/value.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/JsonBody.h"
#include "http/Frame.h"
#include "http/Request.h"
#include "threats/FeedDownload.h"
#include "threats/FeedWork.h"
#include "threats/IndicatorStore.h"
#include "threats/IocRules.h"
#include "threats/RuleFileSwitches.h"
#include "threats/ThreatItem.h"
#include "threats/Threats.h"

using http::Request;
using http::Status;

namespace {

constexpr http::Cors kCors = http::Cors::kRules;
// The listing, its finds and the switch: the first read after the store
// changed parses all of it; later ones use the kept snapshot.
constexpr http::Frame kScan{kCors};
// Downloads, store rebuilds, rule generation (with its chown) and rewrites of
// Suricata's configuration.
constexpr http::Frame kSlow{kCors};
// The same for the routes that change state, audited with no one subject.
constexpr http::Frame kSlowChange{kCors, &http::errorText, &http::noSubject};

// ---- Pages --------------------------------------------------------------------------

// The query key `key` read as a decimal int (leading blanks and a sign
// allowed, trailing characters ignored), `fallback` when absent or below 1.
// Refuses 400 `errorText` for a text that is no int.
int32_t pageKey(const Request& request, const char* key, int32_t fallback, const char* errorText) {
  const std::optional<std::string> text = http::query(request, key);
  if (!text) return fallback;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  if (end == text->c_str() || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    throw http::Refusal(Status::kBadRequest, errorText);
  }
  return value < 1 ? fallback : static_cast<int32_t>(value);
}

// The records of one page that a listing route asks for.
using Find = std::vector<ThreatItem> (*)(const Request& request, int32_t page, int32_t page_size,
                                         uint64_t* total);

// Serves the page of `find` as the styled array of its records ("null" when
// empty), with the number of matches in X-Total-Count. The listing and its
// three finds.
http::Handler servePage(Find find) {
  return {kScan, [find](const Request& r) {
            const int32_t page = pageKey(r, "page", 1, "Invalid 'page' parameter");
            const int32_t page_size = pageKey(r, "page_size", 10, "Invalid 'page_size' parameter");
            uint64_t total = 0;
            Json::Value records;
            for (const ThreatItem& item : find(r, page, page_size, &total))
              records.append(item.toJson());
            return http::withTotalCount(http::styledJson(records), total);
          }};
}

// ---- Store rebuild -------------------------------------------------------------------

// The segment `n_days`: plain decimal digits up to threats::kMaxDays. A
// segment that does not begin with a number keeps the routing library's
// conversion error (500 "Bad lexical cast"); any other text is refused 400,
// for the stream conversion alone would take "-1", "0x10" or "1e3" by their
// leading characters and rebuild the store from them.
int32_t dayCount(const Request& request) {
  const http::Refusal invalid(Status::kBadRequest, "Invalid number of days");
  const std::string text = http::pathParam(request, ":n_days");
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    try {
      http::segmentAs<int32_t>(request, ":n_days");
    } catch (const std::exception& e) {
      throw http::Refusal(Status::kInternalServerError, e.what());
    }
    throw invalid;
  }
  // In 64 bits: ten times a count just under the bound must not wrap.
  int64_t days = 0;
  for (const char c : text) {
    days = days * 10 + (c - '0');
    if (days > threats::kMaxDays) throw invalid;
  }
  return static_cast<int32_t>(days);
}

// The rebuild's own failures (the store could not be replaced) keep their
// text; any other failure is answered with a general one.
http::Reply rebuildError(const std::exception& error) {
  if (dynamic_cast<const ThreatsException*>(&error) != nullptr) return http::error(error.what());
  return http::error("Internal server error");
}

// ---- Switch -------------------------------------------------------------------------

// The switch's reply: a styled {"message", "status"} object, no content type.
http::Reply toggleReply(Status code, const char* status, const std::string& message) {
  Json::Value body;
  body["message"] = message;
  body["status"] = status;
  return http::text(body.toStyledString(), code);
}

http::Reply toggleError(const std::exception& error) {
  return toggleReply(Status::kInternalServerError, "error", error.what());
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

// ---- Audit subjects ------------------------------------------------------------------

std::string daysSubject(const Request& request) {
  return "days=" + http::audit::quoted(http::pathParam(request, ":n_days"), 20);
}

std::string uidSubject(const Request& request) {
  const std::optional<Json::Value> body = json_body::read(request.body);
  return "uid=" + (body ? std::to_string(leadingUid(contentOf(*body))) : std::string("?"));
}

std::string switchesSubject(const Request& request) {
  return "switches=" + http::audit::quoted(request.body, 120);
}

// ---- Rule generation ----------------------------------------------------------------

// Every failure of rule generation is answered 400 with its text.
http::Reply fetchError(const std::exception& error) {
  return http::text(error.what(), Status::kBadRequest);
}

constexpr http::Frame kFetch{kCors, &fetchError, &http::noSubject};
constexpr http::Frame kSwitches{kCors, &http::errorText, &switchesSubject};

}  // namespace

http::Handler Threats::handleDownloadRequest() {
  return {kSlowChange, [](const Request&) {
            const auto work = threats::waitForFeedWork("feed download");
            try {
              threats::downloadAndUnzipAsync();
            } catch (const threats::DownloadRunning& e) {
              throw http::Refusal(Status::kConflict, e.what());
            }
            return http::text("ZIP downloading and unzipping");
          }};
}

http::Handler Threats::getRecentThreats() {
  return {{kCors, &rebuildError, &daysSubject}, [](const Request& r) {
            const int32_t days = dayCount(r);
            const auto work = threats::waitForFeedWork("store rebuild");
            if (!threats::processThreats(days)) {
              return http::error("Error processing data");
            }
            return http::text("Threats processed successfully");
          }};
}

http::Handler Threats::handleGetThreats() {
  return servePage([](const Request&, int32_t page, int32_t page_size, uint64_t* total) {
    return threats::getThreats(page, page_size, total);
  });
}

http::Handler Threats::handleFindThreatsById() {
  return servePage([](const Request& r, int32_t page, int32_t page_size, uint64_t* total) {
    return threats::findThreatsById(http::pathParam(r, ":id"), page, page_size, total);
  });
}

http::Handler Threats::handleFindThreatsByIocType() {
  return servePage([](const Request& r, int32_t page, int32_t page_size, uint64_t* total) {
    return threats::findThreatsByIocType(http::pathParam(r, ":ioc_type"), page, page_size, total);
  });
}

http::Handler Threats::handleFindThreatsByStatus() {
  return servePage([](const Request& r, int32_t page, int32_t page_size, uint64_t* total) {
    return threats::findThreatsByStatus(http::pathParam(r, ":status"), page, page_size, total);
  });
}

http::Handler Threats::handleToggleThreatStatus() {
  return {{kCors, &toggleError, &uidSubject}, [](const Request& r) {
            const std::optional<Json::Value> body = json_body::read(r.body);
            if (!body) return toggleReply(Status::kBadRequest, "error", "Invalid JSON format");
            const std::string content = contentOf(*body);
            if (content.empty()) {
              return toggleReply(Status::kBadRequest, "error", "Content ID is missing");
            }
            threats::ToggleThreatStatus(leadingUid(content));
            return toggleReply(Status::kOk, "success", "Threat status was changed.");
          }};
}

http::Handler Threats::handleFetchIocs() {
  return {kFetch, [](const Request&) {
            const auto work = threats::waitForFeedWork("rule generation");
            threats::fetch_iocs();
            return http::text("Action was success!");
          }};
}

http::Handler Threats::handlegetThreatsRuleFilesStatus() {
  return {{kCors}, [](const Request&) { return http::text(threats::getThreatsRuleFilesStatus()); }};
}

http::Handler Threats::handlemodifyRuleFilesStatus() {
  return {kSwitches, [](const Request& r) {
            // Any other document would read as "every file off".
            const std::optional<Json::Value> body = json_body::readObject(r.body);
            if (!body) throw http::Refusal(Status::kBadRequest, "Invalid JSON");
            threats::modifyRuleFilesStatus(*body);
            return http::text("Suricata config modyfied.");
          }};
}
