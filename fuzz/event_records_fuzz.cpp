// Stored event texts: the two event readers, the flattened EventItem, the
// text form of members, the timestamp reader of the time filter and the
// hourly counts, and the per-signature tally.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "common/EventJson.h"
#include "events/AlertAggregates.h"
#include "events/AlertRecords.h"
#include "events/EventFilters.h"
#include "events/EventItem.h"
#include "events/EventsException.h"
#include "fuzz/FuzzSupport.h"

namespace {

void checkTimestamp(const std::string& text) {
  const std::optional<time_t> stamp = events::parseTimestamp(text);
  if (!stamp) return;
  std::tm calendar{};
  if (localtime_r(&*stamp, &calendar) == nullptr) return;
  if (calendar.tm_year < 0 || calendar.tm_year > 8000) return;
  char written[64];
  strftime(written, sizeof written, "%Y-%m-%dT%H:%M:%S", &calendar);
  // A moment read back from its own text is the same moment (in a zone
  // without summer time, as the replay tests and scripts/fuzz.sh run).
  FUZZ_CHECK(events::parseTimestamp(written) == stamp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using event_json::member;
  using event_json::textForm;
  const char* begin = reinterpret_cast<const char*>(data);
  const std::string text(begin, size);

  Json::Value event;
  std::string error;
  const bool strict =
      event_json::parse(*event_json::makeReader(), begin, begin + size, event, error);
  Json::Value lenient;
  const bool relaxed =
      event_json::parse(*event_json::makeLenientReader(), begin, begin + size, lenient, error);
  if (strict) FUZZ_CHECK(relaxed);

  try {
    EventItem item;
    item.parse(text);
    FUZZ_CHECK(relaxed && lenient.isObject());
    FUZZ_CHECK(item.raw == text);
    FUZZ_CHECK(item.src_ip == textForm(member(lenient, "src_ip")));
    FUZZ_CHECK(item.timestamp == textForm(member(lenient, "timestamp")));
  } catch (const EventsException&) {
    FUZZ_CHECK(!relaxed || !lenient.isObject());
  }
  if (!relaxed) {
    checkTimestamp(text);
    return 0;
  }

  EventItem filled;
  filled.fill(lenient);
  if (!lenient.isObject()) FUZZ_CHECK(filled.proto.empty() && filled.flow_id.empty());
  checkTimestamp(filled.timestamp);

  // The tally of one alert, as the signature statistics build it.
  const Json::Value& rule = member(lenient, "alert");
  const Json::Value& id = member(rule, "signature_id");
  Alert alert;
  alert.signature = textForm(member(rule, "signature"));
  alert.category = textForm(member(rule, "category"));
  alert.signature_id = id.isInt64() ? id.asInt64() : 0;
  const std::vector<SignatureStats> rows = events::calculateSignatureStats({alert, alert});
  FUZZ_CHECK(rows.size() == 1 && rows[0].total == 2);
  return 0;
}
