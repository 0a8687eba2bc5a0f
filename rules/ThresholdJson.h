// The JSON forms of threshold-file entries: the listed entry the front end
// reads, and the entry a request body asks to add. No I/O.
#ifndef RULES_THRESHOLDJSON_H_
#define RULES_THRESHOLDJSON_H_

#include <json/value.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "rules/ThresholdFile.h"
#include "rules/ThresholdLine.h"

namespace threshold {

// A body that does not describe a writable entry; the text says why.
class InvalidEntry : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A JSON array of the entries in order, each an object of "kind", "gen_id",
// "sig_id", the options its kind has ("track", "ip", "type", "count",
// "seconds", "new_action", "timeout"; numbers for counts and seconds),
// "content", "line" and "enabled", and "msg" when `messages` holds its sid.
Json::Value listingJson(const std::vector<ListedEntry>& entries,
                        const std::map<uint32_t, std::string>& messages);

// The entry `body` describes: "kind" (default "suppress"), "sig_id",
// "gen_id" (default 1) and the options of the kind by the names above;
// numbers as JSON integers or strings of decimal digits within 32 bits; a
// null member counts as absent. Throws InvalidEntry for a body that is not
// an object, an unknown member, a value of the wrong type, or an entry with
// a problem (problemOf).
Entry entryFromJson(const Json::Value& body);

}  // namespace threshold

#endif  // RULES_THRESHOLDJSON_H_
