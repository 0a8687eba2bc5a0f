// Reading and writing one threshold-file entry, after the grammar of
// Suricata's threshold parser: a kind, gen_id and sig_id, then the options
// of the kind in their fixed order.
#include "rules/ThresholdLine.h"

#include <arpa/inet.h>

#include <algorithm>
#include <initializer_list>
#include <limits>

namespace threshold {

namespace {

using Names = std::initializer_list<const char*>;

const Names kSuppressTracks = {"by_src", "by_dst", "by_either"};
const Names kCountingTracks = {"by_src", "by_dst", "by_rule", "by_both"};
const Names kTypes = {"limit", "threshold", "both"};
const Names kNewActions = {"alert", "drop", "pass", "log", "sdrop", "reject"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

bool oneOf(std::string_view value, const Names& names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return value == n; });
}

std::string joined(const Names& names) {
  std::string text;
  for (const char* name : names) text += (text.empty() ? "" : ", ") + std::string(name);
  return text;
}

// A left-to-right reader of one line; every step returns false when the
// text does not go on as the grammar wants, and the line is then no entry.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  void skipBlanks() {
    while (at_ < text_.size() && isBlank(text_[at_])) ++at_;
  }
  bool atEnd() {
    skipBlanks();
    return at_ == text_.size();
  }
  // `literal` here, then optional blanks.
  bool take(std::string_view literal) {
    if (text_.substr(at_, literal.size()) != literal) return false;
    at_ += literal.size();
    skipBlanks();
    return true;
  }
  // ", <keyword>": the start of the next option.
  bool option(std::string_view keyword) { return take(",") && take(keyword); }
  // An unsigned 32-bit decimal, then optional blanks.
  bool number(uint32_t& value) {
    const size_t start = at_;
    uint64_t n = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      n = n * 10 + static_cast<uint64_t>(text_[at_] - '0');
      if (n > std::numeric_limits<uint32_t>::max()) return false;
      ++at_;
    }
    if (at_ == start) return false;
    value = static_cast<uint32_t>(n);
    skipBlanks();
    return true;
  }
  bool number(std::optional<uint32_t>& value) {
    uint32_t n = 0;
    if (!number(n)) return false;
    value = n;
    return true;
  }
  // A word of lower-case letters and underscores that is one of `names`.
  bool word(const Names& names, std::optional<std::string>& value) {
    const size_t start = at_;
    while (at_ < text_.size() && ((text_[at_] >= 'a' && text_[at_] <= 'z') || text_[at_] == '_')) {
      ++at_;
    }
    const std::string_view found = text_.substr(start, at_ - start);
    if (!oneOf(found, names)) return false;
    value = std::string(found);
    skipBlanks();
    return true;
  }
  // The rest of the line as a suppression's ip text, trailing blanks cut.
  bool ipText(std::optional<std::string>& value) {
    std::string_view rest = text_.substr(at_);
    while (!rest.empty() && isBlank(rest.back())) rest.remove_suffix(1);
    if (rest.empty()) return false;
    for (const char c : rest) {
      const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || isBlank(c) ||
                           std::string_view("[],$.:/_").find(c) != std::string_view::npos;
      if (!allowed) return false;
    }
    value = std::string(rest);
    at_ = text_.size();
    return true;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

bool readOptions(Cursor& in, Entry& entry) {
  switch (entry.kind) {
    case Kind::kSuppress:
      if (in.atEnd()) return true;
      return in.option("track") && in.word(kSuppressTracks, entry.track) && in.option("ip") &&
             in.ipText(entry.ip);
    case Kind::kThreshold:
    case Kind::kEventFilter:
      return in.option("type") && in.word(kTypes, entry.type) && in.option("track") &&
             in.word(kCountingTracks, entry.track) && in.option("count") &&
             in.number(entry.count) && in.option("seconds") && in.number(entry.seconds) &&
             in.atEnd();
    case Kind::kRateFilter:
      return in.option("track") && in.word(kCountingTracks, entry.track) && in.option("count") &&
             in.number(entry.count) && in.option("seconds") && in.number(entry.seconds) &&
             in.option("new_action") && in.word(kNewActions, entry.newAction) &&
             in.option("timeout") && in.number(entry.timeout) && in.atEnd();
  }
  return false;
}

constexpr Kind kKinds[] = {Kind::kSuppress, Kind::kThreshold, Kind::kEventFilter,
                           Kind::kRateFilter};

// Whether `text` is one IPv4 or IPv6 address, or one with a prefix length
// that fits it ("10.0.0.0/8", "fe80::/10").
bool isAddressOrBlock(const std::string& text) {
  const size_t slash = text.find('/');
  const std::string address = text.substr(0, slash);
  unsigned char buffer[16];
  int bits = 0;
  if (inet_pton(AF_INET, address.c_str(), buffer) == 1) {
    bits = 32;
  } else if (inet_pton(AF_INET6, address.c_str(), buffer) == 1) {
    bits = 128;
  } else {
    return false;
  }
  if (slash == std::string::npos) return true;
  const std::string prefix = text.substr(slash + 1);
  if (prefix.empty() || prefix.size() > 3) return false;
  if (!std::all_of(prefix.begin(), prefix.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  return std::stoi(prefix) <= bits;
}

// An address, a block, or "[" one or more of them separated by commas "]".
bool isAddressList(const std::string& text) {
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return isAddressOrBlock(text);
  const std::string inside = text.substr(1, text.size() - 2);
  size_t begin = 0;
  while (true) {
    const size_t comma = inside.find(',', begin);
    if (!isAddressOrBlock(inside.substr(begin, comma - begin))) return false;
    if (comma == std::string::npos) return true;
    begin = comma + 1;
  }
}

std::string withoutBlanks(const std::optional<std::string>& text) {
  std::string out = text.value_or("");
  out.erase(std::remove_if(out.begin(), out.end(), isBlank), out.end());
  return out;
}

// The options `kind` has, for the checks of problemOf.
struct Options {
  bool type, count, seconds, newAction, timeout;
};

Options optionsOf(Kind kind) {
  switch (kind) {
    case Kind::kSuppress: return {false, false, false, false, false};
    case Kind::kThreshold:
    case Kind::kEventFilter: return {true, true, true, false, false};
    case Kind::kRateFilter: return {false, true, true, true, true};
  }
  return {};
}

// "<option> is required for <kind>" or "<kind> has no option <option>" when
// the presence of an option does not match the kind, or nothing.
std::optional<std::string> presenceProblem(Kind kind, const char* option, bool has, bool set) {
  if (has && !set) return std::string(option) + " is required for " + kindName(kind);
  if (!has && set) return std::string(kindName(kind)) + " has no option " + option;
  return std::nullopt;
}

std::optional<std::string> valueProblem(const char* option, const std::optional<std::string>& value,
                                        const Names& names, Kind kind) {
  if (!value || oneOf(*value, names)) return std::nullopt;
  return std::string(option) + " must be one of " + joined(names) + " for " + kindName(kind);
}

}  // namespace

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::kSuppress: return "suppress";
    case Kind::kThreshold: return "threshold";
    case Kind::kEventFilter: return "event_filter";
    case Kind::kRateFilter: return "rate_filter";
  }
  return "";
}

std::optional<Kind> kindNamed(std::string_view name) {
  for (const Kind kind : kKinds) {
    if (name == kindName(kind)) return kind;
  }
  return std::nullopt;
}

bool Entry::operator==(const Entry& other) const {
  return kind == other.kind && genId == other.genId && sigId == other.sigId &&
         track == other.track && ip == other.ip && type == other.type && count == other.count &&
         seconds == other.seconds && newAction == other.newAction && timeout == other.timeout;
}

bool sameEntry(const Entry& a, const Entry& b) {
  Entry left = a;
  Entry right = b;
  if (left.ip) left.ip = withoutBlanks(left.ip);
  if (right.ip) right.ip = withoutBlanks(right.ip);
  return left == right;
}

std::optional<LineEntry> readLine(std::string_view line) {
  Cursor in(line);
  LineEntry read;
  in.skipBlanks();
  if (in.take("#")) read.enabled = false;
  bool known = false;
  for (const Kind kind : kKinds) {
    if (in.take(kindName(kind))) {
      read.entry.kind = kind;
      known = true;
      break;
    }
  }
  if (!known) return std::nullopt;
  if (!in.take("gen_id") || !in.number(read.entry.genId)) return std::nullopt;
  if (!in.option("sig_id") || !in.number(read.entry.sigId)) return std::nullopt;
  if (!readOptions(in, read.entry)) return std::nullopt;
  return read;
}

std::optional<std::string> problemOf(const Entry& entry) {
  const Kind kind = entry.kind;
  if (entry.genId == 0 && entry.sigId != 0) return "a sig_id above 0 needs a gen_id above 0";
  const Options has = optionsOf(kind);
  if (kind == Kind::kSuppress) {
    if (entry.track.has_value() != entry.ip.has_value()) {
      return "suppress takes track and ip together, or neither";
    }
  } else {
    if (auto p = presenceProblem(kind, "track", true, entry.track.has_value())) return p;
    if (auto p = presenceProblem(kind, "ip", false, entry.ip.has_value())) return p;
  }
  struct Presence {
    const char* option;
    bool has;
    bool set;
  };
  const Presence presences[] = {
      {"type", has.type, entry.type.has_value()},
      {"count", has.count, entry.count.has_value()},
      {"seconds", has.seconds, entry.seconds.has_value()},
      {"new_action", has.newAction, entry.newAction.has_value()},
      {"timeout", has.timeout, entry.timeout.has_value()},
  };
  for (const Presence& p : presences) {
    if (auto problem = presenceProblem(kind, p.option, p.has, p.set)) return problem;
  }
  const Names& tracks = kind == Kind::kSuppress ? kSuppressTracks : kCountingTracks;
  if (auto p = valueProblem("track", entry.track, tracks, kind)) return p;
  if (auto p = valueProblem("type", entry.type, kTypes, kind)) return p;
  if (auto p = valueProblem("new_action", entry.newAction, kNewActions, kind)) return p;
  if (entry.ip && !isAddressList(*entry.ip)) {
    return "ip must be an IPv4 or IPv6 address, a CIDR block, or a bracketed list of them "
           "without blanks";
  }
  return std::nullopt;
}

std::string writeLine(const Entry& entry) {
  std::string line = std::string(kindName(entry.kind)) + " gen_id " + std::to_string(entry.genId) +
                     ", sig_id " + std::to_string(entry.sigId);
  struct Append {
    std::string& line;
    void operator()(const char* name, const std::optional<std::string>& value) const {
      if (value) line.append(", ").append(name).append(" ").append(*value);
    }
    void operator()(const char* name, const std::optional<uint32_t>& value) const {
      if (value) (*this)(name, std::optional<std::string>(std::to_string(*value)));
    }
  };
  forEachOption(entry, Append{line});
  return line;
}

}  // namespace threshold
