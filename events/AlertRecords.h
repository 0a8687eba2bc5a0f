// The alert records behind the per-signature statistics.
#ifndef EVENTS_ALERTRECORDS_H_
#define EVENTS_ALERTRECORDS_H_

#include <cstdint>
#include <string>

// One alert as the statistics need it; a member missing from the event is ""
// or 0.
struct Alert {
  std::string signature;     // "alert"."signature"
  std::string category;      // "alert"."category"
  int64_t signature_id = 0;  // "alert"."signature_id" (rule sids run up to 2^32-1)
  std::string timestamp;     // "timestamp", as stored
  std::string src_ip;
  std::string dest_ip;
};

// One row of the per-signature statistics.
struct SignatureStats {
  std::string signature;  // texts of the first alert seen with this id
  std::string category;
  int64_t signature_id = 0;
  int32_t total = 0;  // number of alerts with this id
};

#endif  // EVENTS_ALERTRECORDS_H_
