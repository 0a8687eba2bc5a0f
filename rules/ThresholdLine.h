// One line of Suricata's threshold file: reading an entry (suppress,
// threshold, event_filter, rate_filter) as Suricata's parser accepts it, and
// writing one that reads back the same. Pure text functions, no I/O.
#ifndef RULES_THRESHOLDLINE_H_
#define RULES_THRESHOLDLINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace threshold {

enum class Kind { kSuppress, kThreshold, kEventFilter, kRateFilter };

// "suppress", "threshold", "event_filter", "rate_filter".
const char* kindName(Kind kind);
std::optional<Kind> kindNamed(std::string_view name);

// One entry. Which options are set depends on the kind, in the order the
// line carries them:
//   suppress      [track, ip]  (both or neither)
//   threshold,
//   event_filter  type, track, count, seconds
//   rate_filter   track, count, seconds, new_action, timeout
// Options the kind does not have are unset.
struct Entry {
  Kind kind = Kind::kSuppress;
  uint32_t genId = 1;
  uint32_t sigId = 0;
  std::optional<std::string> track;  // "by_src", "by_dst"...
  std::optional<std::string> ip;     // suppress: an address, CIDR or "[...]" list
  std::optional<std::string> type;   // "limit", "threshold", "both"
  std::optional<uint32_t> count;
  std::optional<uint32_t> seconds;
  std::optional<std::string> newAction;  // "alert", "drop", "pass", "reject"...
  std::optional<uint32_t> timeout;       // seconds the new action lasts

  bool operator==(const Entry& other) const;
  bool operator!=(const Entry& other) const { return !(*this == other); }
};

// Calls `visit(name, value)` for each option of `entry` in the order a line
// carries them ("type", "track", "ip", "count", "seconds", "new_action",
// "timeout"), `value` an std::optional<std::string> or std::optional<uint32_t>
// that is unset where the kind has no such option.
template <typename Visit>
void forEachOption(const Entry& entry, Visit visit) {
  visit("type", entry.type);
  visit("track", entry.track);
  visit("ip", entry.ip);
  visit("count", entry.count);
  visit("seconds", entry.seconds);
  visit("new_action", entry.newAction);
  visit("timeout", entry.timeout);
}

// Whether two entries act alike: equal, except that blanks inside the ip
// lists do not count ("[a, b]" is "[a,b]").
bool sameEntry(const Entry& a, const Entry& b);

// A line that holds an entry: the entry, and false when it is commented out
// ("#" and optional blanks in front of it).
struct LineEntry {
  Entry entry;
  bool enabled = true;
};

// The entry of `line` (without its line feed) as Suricata reads it: leading
// and trailing white space allowed, blanks optional around keywords, values
// and commas, keywords in lower case, numbers as unsigned 32-bit decimals,
// and for suppress an ip text of letters, digits and ".:/_$[], " (address
// variables such as $HOME_NET included). Nothing for a blank line, a comment
// that holds no entry, or a line Suricata would not read. Never throws.
std::optional<LineEntry> readLine(std::string_view line);

// Why `entry` cannot be written, or nothing: a track outside the kind's set,
// a type or new action outside its set, a missing or extra option, an ip
// that is not an IPv4 or IPv6 address, a CIDR of one, or a bracketed list
// of those ("[10.0.0.0/8,192.0.2.1]", no blanks, no negation, no variables).
std::optional<std::string> problemOf(const Entry& entry);

// The line of `entry` in the form Suricata's examples use
// ("suppress gen_id 1, sig_id 2013028, track by_src, ip 10.0.0.5"), without
// a line feed. For an entry without a problem, readLine gives it back.
std::string writeLine(const Entry& entry);

}  // namespace threshold

#endif  // RULES_THRESHOLDLINE_H_
