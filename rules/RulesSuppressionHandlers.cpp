// HTTP handlers of the suppressions and thresholds kept in Suricata's
// threshold file: read the request, call the threshold operation, return one
// reply. Nothing here reloads Suricata; the reload routes apply the file.
#include <json/value.h>

#include <cstdint>
#include <libconfig.h++>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Configuration.h"
#include "common/JsonBody.h"
#include "http/Frame.h"
#include "rules/RuleReplies.h"
#include "rules/Rules.h"
#include "rules/RulesFile.h"
#include "rules/ThresholdFile.h"
#include "rules/ThresholdJson.h"

using http::Request;
using http::Status;

namespace {

constexpr char kInvalidJson[] = "Invalid JSON";

// "application.settings.threshold_file"; RulesException "Threshold file not
// configured" while the key is absent.
std::string thresholdFile() {
  libconfig::Config cfg;
  config::load(cfg);
  if (!cfg.exists(config::kThresholdFile)) throw RulesException("Threshold file not configured");
  return config::getString(cfg, config::kThresholdFile);
}

// What a delete names: a line and the text it must still hold.
struct LineRef {
  uint64_t line = 0;
  std::string content;
};

// The line reference of `body`, or the reason it is none.
std::optional<LineRef> lineRefOf(const Json::Value& body, std::string& problem) {
  const Json::Value& line = body["line"];
  const Json::Value& content = body["content"];
  const bool integer = line.type() == Json::intValue || line.type() == Json::uintValue;
  if (!integer || !line.isUInt64() || line.asUInt64() == 0) {
    problem = "line must be a line number from 1";
  } else if (!content.isString() || content.asString().empty()) {
    problem = "content must be the text of that line";
  } else {
    return LineRef{line.asUInt64(), content.asString()};
  }
  return std::nullopt;
}

// ---- Audit subjects ---------------------------------------------------------------

constexpr size_t kAuditedBytes = 120;

// The line an add would write, or "entry=?" for a body that describes none.
std::string addSubject(const Request& request) {
  const std::optional<Json::Value> body = json_body::read(request.body);
  if (!body) return "entry=?";
  try {
    const threshold::Entry entry = threshold::entryFromJson(*body);
    return "entry=" + http::audit::quoted(threshold::writeLine(entry), kAuditedBytes);
  } catch (const threshold::InvalidEntry&) {
    return "entry=?";
  }
}

std::string deleteSubject(const Request& request) {
  const std::optional<Json::Value> body = json_body::readObject(request.body);
  std::string problem;
  const std::optional<LineRef> ref = body ? lineRefOf(*body, problem) : std::nullopt;
  if (!ref) return "line=?";
  return "line=" + std::to_string(ref->line) +
         " content=" + http::audit::quoted(ref->content, kAuditedBytes);
}

constexpr http::Cors kCors = http::Cors::kRules;
// The listing reads the file on the HTTP thread; the add waits on the test
// run and the delete on the file's edit lock, which an add holds through its
// test run, so both go to the slow pool.
constexpr http::Frame kList{kCors, &rule_replies::queryError};
constexpr http::Frame kAdd{kCors, &rule_replies::outcomeError, &addSubject};
constexpr http::Frame kDelete{kCors, &rule_replies::outcomeError, &deleteSubject};

http::Reply refused(Status code, const std::string& reason) {
  return rule_replies::outcome(code, false, reason);
}

}  // namespace

http::Handler Rules::handleGetSuppressions() {
  return {kList, [](const Request&) {
            const std::vector<threshold::ListedEntry> entries =
                threshold::readEntries(thresholdFile());
            std::set<uint32_t> sids;
            for (const threshold::ListedEntry& listed : entries) {
              if (listed.read.entry.sigId != 0) sids.insert(listed.read.entry.sigId);
            }
            std::map<uint32_t, std::string> messages;
            if (!sids.empty()) {
              messages = rules::messagesOfSids(config::readString(config::kRulesFile), sids);
            }
            return http::withTotalCount(http::json(threshold::listingJson(entries, messages)),
                                        entries.size());
          }};
}

http::Handler Rules::handleAddSuppression() {
  return {kAdd, [](const Request& r) {
            const std::string file = thresholdFile();
            const std::optional<Json::Value> body = json_body::read(r.body);
            if (!body) return refused(Status::kBadRequest, kInvalidJson);
            threshold::Entry entry;
            try {
              entry = threshold::entryFromJson(*body);
            } catch (const threshold::InvalidEntry& e) {
              return refused(Status::kBadRequest, e.what());
            }
            const threshold::AddOutcome added =
                threshold::addEntry(file, entry, &threshold::testWithSuricata);
            switch (added.result) {
              case threshold::AddResult::kExists: return refused(Status::kConflict, added.message);
              case threshold::AddResult::kRejected:
                return refused(Status::kBadRequest, added.message);
              case threshold::AddResult::kAdded: break;
            }
            return rule_replies::outcome(Status::kOk, true, "");
          }};
}

http::Handler Rules::handleDeleteSuppression() {
  return {kDelete, [](const Request& r) {
            const std::string file = thresholdFile();
            const std::optional<Json::Value> body = json_body::readObject(r.body);
            if (!body) return refused(Status::kBadRequest, kInvalidJson);
            std::string problem;
            const std::optional<LineRef> ref = lineRefOf(*body, problem);
            if (!ref) return refused(Status::kBadRequest, problem);
            if (!threshold::deleteEntry(file, ref->line, ref->content)) {
              return refused(Status::kConflict,
                             "Line " + std::to_string(ref->line) +
                                 " no longer holds that entry: the file has changed");
            }
            return rule_replies::outcome(Status::kOk, true, "");
          }};
}
