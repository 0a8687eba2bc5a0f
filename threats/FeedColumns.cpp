// Feed column layouts: by position, or by the names of a header line.
#include "threats/FeedColumns.h"

#include <iterator>

namespace {

using TextMember = std::string ThreatItem::*;

struct Column {
  const char* name;
  TextMember member;
};

// The positional layout, which is also the table of known names.
constexpr Column kColumns[] = {
    {"first_seen_utc", &ThreatItem::first_seen_utc},
    {"ioc_id", &ThreatItem::id},
    {"ioc_value", &ThreatItem::ioc_value},
    {"ioc_type", &ThreatItem::ioc_type},
    {"threat_type", &ThreatItem::threat_type},
    {"fk_malware", &ThreatItem::malware},
    {"malware_alias", &ThreatItem::malware_alias},
    {"malware_printable", &ThreatItem::malware_printable},
    {"last_seen_utc", &ThreatItem::last_seen_utc},
    {"confidence_level", &ThreatItem::confidence_level},
    {"reference", &ThreatItem::reference},
    {"tags", &ThreatItem::tags},
    {"anonymous", &ThreatItem::anonymous},
    {"reporter", &ThreatItem::reporter},
};

// Names a header must hold to be taken for one.
constexpr const char* kRequiredNames[] = {"first_seen_utc", "ioc_id", "ioc_value", "ioc_type"};

TextMember memberNamed(const std::string& name) {
  for (const Column& column : kColumns) {
    if (name == column.name) return column.member;
  }
  return nullptr;
}

}  // namespace

FeedColumns::FeedColumns() {
  for (const Column& column : kColumns) members_.push_back(column.member);
  needed_ = members_.size();
  firstSeen_ = 0;
}

std::optional<FeedColumns> FeedColumns::fromHeader(const std::string& line) {
  const size_t start = line.find_first_not_of("# \t");
  if (line.empty() || line[0] != '#' || start == std::string::npos) return std::nullopt;
  FeedColumns layout;
  layout.members_.clear();
  size_t found = 0;
  for (const std::string& field : ThreatItem::parseCsvLine(line.substr(start))) {
    const std::string name = ThreatItem::trim(field);
    const TextMember member = memberNamed(name);
    for (const char* required : kRequiredNames) found += name == required;
    if (member == &ThreatItem::first_seen_utc) layout.firstSeen_ = layout.members_.size();
    layout.members_.push_back(member);
  }
  if (found != std::size(kRequiredNames)) return std::nullopt;
  // A line needs every column up to the last one the record keeps.
  layout.needed_ = 0;
  for (size_t i = 0; i < layout.members_.size(); ++i) {
    if (layout.members_[i] != nullptr) layout.needed_ = i + 1;
  }
  return layout;
}

ThreatItem FeedColumns::record(const std::vector<std::string>& fields) const {
  if (fields.size() < needed_) return ThreatItem();
  ThreatItem item;
  for (size_t i = 0; i < needed_; ++i) {
    if (members_[i] != nullptr) item.*members_[i] = ThreatItem::trim(fields[i]);
  }
  item.status = true;
  item.identify();
  return item;
}
