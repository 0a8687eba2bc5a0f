// Which feed column fills which member of an indicator record. The feed's
// comment lines may include a header naming its columns (the published feed
// now has 15, with is_compromised after confidence_level); without one, the
// fourteen columns are read by position as they always were.
#ifndef THREATS_FEEDCOLUMNS_H_
#define THREATS_FEEDCOLUMNS_H_

#include <optional>
#include <string>
#include <vector>

#include "threats/ThreatItem.h"

class FeedColumns {
 public:
  // The positional layout: first_seen_utc, id, ioc_value, ioc_type,
  // threat_type, malware, malware_alias, malware_printable, last_seen_utc,
  // confidence_level, reference, tags, anonymous, reporter.
  FeedColumns();

  // The layout a comment line names, when it is a header: a "#" line of
  // quoted or bare column names that include first_seen_utc, ioc_id,
  // ioc_value and ioc_type. ioc_id fills `id`, fk_malware fills `malware`,
  // the other names fill the member of the same name, and columns the record
  // does not keep (is_compromised, unknown names) are passed over. Nothing
  // for any other line.
  static std::optional<FeedColumns> fromHeader(const std::string& line);

  // The record of one feed line's fields (ThreatItem::parseCsvLine), each
  // trimmed, enabled, with uid and uniq_id computed; the default record (empty
  // ioc_type, uid 0) when the line has fewer fields than the layout needs.
  ThreatItem record(const std::vector<std::string>& fields) const;

  // The position of first_seen_utc, which the age filter reads.
  size_t firstSeenColumn() const { return firstSeen_; }

 private:
  using TextMember = std::string ThreatItem::*;
  std::vector<TextMember> members_;  // by column; null: not kept
  size_t needed_ = 0;                // fields a line must have
  size_t firstSeen_ = 0;
};

#endif  // THREATS_FEEDCOLUMNS_H_
