// The local indicator store ("application.settings.ioc_local_file_name", a
// JSON array of records, null when empty): its rebuild from the feed file,
// pages of its records, and the switch of one indicator.
#ifndef THREATS_INDICATORSTORE_H_
#define THREATS_INDICATORSTORE_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "threats/ThreatItem.h"
#include "threats/ThreatsException.h"

namespace threats {

// ---- Rebuild from the feed (IndicatorStore.cpp) ------------------------------

// What a rebuild does with the switches set through ToggleThreatStatus.
enum class Switches {
  kReset,  // every record starts enabled: "/ioc/filter/:n_days"
  kKeep,   // a record switched off in the old store stays off: the scheduled refresh
};

// Rebuilds the store from the feed file
// ("application.settings.ioc_full_file_name"): every data line first seen
// within `n_days` days whose type is acted on, in feed order; JSON null when
// none qualifies. Records start enabled; with Switches::kKeep, one whose uid
// is switched off in the old store stays off (an old store that cannot be
// read keeps no switch, and says so in the log). Returns false (and logs) when the configuration
// or the feed file fails; throws ThreatsException with the failure's text,
// naming the store, when the store cannot be replaced (it then keeps its old
// content). One rebuild runs at a time; others wait their turn.
bool processThreats(int32_t n_days, Switches switches = Switches::kReset);

// Largest day count a rebuild accepts: any count of the route's 32-bit
// segment. A count reaching past the feed's oldest indicator keeps them all;
// 24 × n_days hours needs 64 bits from 89,478,486 days on.
inline constexpr int32_t kMaxDays = std::numeric_limits<int32_t>::max();

// True when `date` ("%Y-%m-%d %H:%M:%S" in UTC, double quotes ignored) lies
// no more than 24 × n_days whole hours before now, or in the future. A text
// that is no such date is never within.
bool isWithinNDays(const std::string& date, int32_t n_days);

// True for the types that rules are made from: "ip:port", "url", "domain".
bool isWithinValidTypes(const ThreatItem& item);

// ---- Pages and the switch (IndicatorQueries.cpp) ------------------------------

// One page of the store's records: all of them, those with this `id`, this
// `ioc_type`, or enabled (`status` "enabled") / disabled (any other text).
// `page` counts from 1. With `total`, the number of matching records before
// paging is stored there (the front end's X-Total-Count). Throw ThreatsException ("Error reading
// config file: " or "Error reading config file", "Config setting not found", "Unable to open IOC
// file", or the JSON library's error text).
std::vector<ThreatItem> getThreats(int32_t page, int32_t page_size, uint64_t* total = nullptr);
std::vector<ThreatItem> findThreatsById(const std::string& id, int32_t page, int32_t page_size,
                                        uint64_t* total = nullptr);
std::vector<ThreatItem> findThreatsByIocType(const std::string& ioc_type, int32_t page,
                                             int32_t page_size, uint64_t* total = nullptr);
std::vector<ThreatItem> findThreatsByStatus(const std::string& status, int32_t page,
                                            int32_t page_size, uint64_t* total = nullptr);

// Flips `status` of every stored record whose uid is `uid` and rewrites the
// store, serialised with every other writer of the store in this process.
// Throws std::runtime_error "Config error: ...", "Unable to open file: ...",
// "Error reading JSON from file: ...", "Threat with given UID not found"
// (store untouched) or the write failure naming the store.
void ToggleThreatStatus(uint64_t uid);

}  // namespace threats

#endif  // THREATS_INDICATORSTORE_H_
