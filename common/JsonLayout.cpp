// The default stream writer's layout for simdjson documents. The rules below
// follow that writer step for step: where a line breaks, how numbers and
// strings are spelled.
#include "common/JsonLayout.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

namespace json_layout {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// Unused room an array's text gives back when it is finished (when it is
// also more than a quarter of the text): below this the copy costs more.
constexpr size_t kGiveBackAbove = 64 * 1024;

// The code point of the UTF-8 sequence at `s`, advancing `s` to its last
// byte; U+FFFD for a cut, overlong or surrogate sequence.
unsigned codePoint(const char*& s, const char* end) {
  constexpr unsigned kReplacement = 0xFFFD;
  const auto byte = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(s[i])); };
  const unsigned first = byte(0);
  if (first < 0x80) return first;
  if (first < 0xE0) {
    if (end - s < 2) return kReplacement;
    const unsigned point = ((first & 0x1F) << 6) | (byte(1) & 0x3F);
    s += 1;
    return point < 0x80 ? kReplacement : point;
  }
  if (first < 0xF0) {
    if (end - s < 3) return kReplacement;
    const unsigned point = ((first & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    s += 2;
    if (point >= 0xD800 && point <= 0xDFFF) return kReplacement;
    return point < 0x800 ? kReplacement : point;
  }
  if (first < 0xF8) {
    if (end - s < 4) return kReplacement;
    const unsigned point = ((first & 0x07) << 18) | ((byte(1) & 0x3F) << 12) |
                           ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    s += 3;
    return point < 0x10000 ? kReplacement : point;
  }
  return kReplacement;
}

// Text written through a cursor into a string grown ahead of need: a token
// asks for room for its longest form, writes, then moves the cursor. The
// string holds `used` bytes of text and room after them until cut().
class Buffer {
 public:
  Buffer(std::string& text, size_t& used) : text_(text), used_(used) {}

  // At least `bytes` writable bytes at the cursor.
  char* room(size_t bytes) {
    if (text_.size() - used_ < bytes) grow(used_ + bytes);
    return &text_[used_];
  }
  // The cursor moves to `end`, inside the room asked for last.
  void advanceTo(const char* end) { used_ = static_cast<size_t>(end - text_.data()); }
  void put(char c) { *room(1) = c, ++used_; }
  void put(std::string_view text) {
    std::memcpy(room(text.size()), text.data(), text.size());
    used_ += text.size();
  }

 private:
  // Room for `needed` bytes in all. Memory reserved ahead is filled a step
  // at a time, so that what is never written is never touched; past it the
  // text doubles.
  void grow(size_t needed) {
    constexpr size_t kFillStep = 64 * 1024;
    const size_t capacity = text_.capacity();
    if (needed <= capacity) {
      text_.resize(std::min(capacity, std::max(needed, text_.size() + kFillStep)));
    } else {
      text_.resize(std::max(2 * text_.size(), needed + 4096));
    }
  }

  std::string& text_;
  size_t& used_;
};

char* putEscape(char* out, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  *out++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHex[(unit >> shift) & 0xF];
  return out;
}

// The two-character escape of `c` when it has one, else 0.
char shortEscape(char c) {
  switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
  }
}

// The bytes written as they are inside a quoted string.
constexpr auto kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

// Whether none of the eight bytes in `word` needs more than itself in a
// quoted string: no control character, no '"', no '\\', nothing past ASCII.
bool plainWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  const auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  const uint64_t below20 = (word - kOnes * 0x20) & ~word & kHighs;
  return ((word & kHighs) | below20 | hasZero(word ^ (kOnes * '"')) |
          hasZero(word ^ (kOnes * '\\'))) == 0;
}

// `text` quoted: `"` and `\` escaped, the short escapes for backspace, form
// feed, line feed, carriage return and tab, \u00XX for other control
// characters, and every code point past ASCII as \uXXXX (two for those
// beyond the basic plane). A slash stays as it is.
void putQuoted(Buffer& buffer, std::string_view text) {
  // No byte takes more than six: an escape per byte at worst.
  char* out = buffer.room(6 * text.size() + 2);
  *out++ = '"';
  const char* const end = text.data() + text.size();
  const char* c = text.data();
  while (c != end) {
    // Plain text goes out eight bytes at a time while it lasts.
    uint64_t word;
    while (end - c >= 8 && (std::memcpy(&word, c, 8), plainWord(word))) {
      std::memcpy(out, c, 8);
      out += 8;
      c += 8;
    }
    if (c == end) break;
    if (kPlain[static_cast<unsigned char>(*c)]) {
      *out++ = *c++;
      continue;
    }
    if (const char escape = shortEscape(*c)) {
      *out++ = '\\';
      *out++ = escape;
      ++c;
      continue;
    }
    const unsigned point = codePoint(c, end);
    if (point < 0x20) {
      out = putEscape(out, point);
    } else if (point < 0x80) {
      *out++ = static_cast<char>(point);
    } else if (point < 0x10000) {
      out = putEscape(out, point);
    } else {
      out = putEscape(out, 0xD800 + (((point - 0x10000) >> 10) & 0x3FF));
      out = putEscape(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
    }
    ++c;
  }
  *out++ = '"';
  buffer.advanceTo(out);
}

// 17 significant digits (as "%.17g" writes them), and ".0" when that leaves
// neither a point nor an exponent, so that a real number still reads as one.
// Values JSON cannot hold take the library's stand-ins.
void putReal(Buffer& buffer, double value) {
  if (std::isnan(value)) return buffer.put("null");
  if (std::isinf(value)) return buffer.put(value < 0 ? "-1e+9999" : "1e+9999");
  char* out = buffer.room(40);
  char* end = std::to_chars(out, out + 40, value, std::chars_format::general, 17).ptr;
  if (std::memchr(out, '.', end - out) == nullptr && std::memchr(out, 'e', end - out) == nullptr) {
    *end++ = '.';
    *end++ = '0';
  }
  buffer.advanceTo(end);
}

template <typename Integer>
void putInteger(Buffer& buffer, Integer value) {
  char* out = buffer.room(24);
  buffer.advanceTo(std::to_chars(out, out + 24, value).ptr);
}

void putScalar(Buffer& buffer, element value) {
  switch (value.type()) {
    case element_type::INT64: putInteger(buffer, int64_t(value)); break;
    case element_type::UINT64: putInteger(buffer, uint64_t(value)); break;
    case element_type::DOUBLE: putReal(buffer, double(value)); break;
    case element_type::BOOL: buffer.put(bool(value) ? "true" : "false"); break;
    case element_type::STRING: putQuoted(buffer, std::string_view(value)); break;
    default: buffer.put("null");
  }
}

// An object member, with the first eight bytes of its name as one number
// (zero-padded): names whose numbers differ are in the order of their numbers.
struct Member {
  uint64_t prefix;
  std::string_view name;
  element value;
};

uint64_t prefixOf(std::string_view name) {
  uint64_t prefix = 0;
  const size_t count = std::min<size_t>(name.size(), 8);
  for (size_t i = 0; i < count; ++i) {
    prefix |= static_cast<uint64_t>(static_cast<unsigned char>(name[i])) << (56 - 8 * i);
  }
  return prefix;
}

bool before(const Member& a, const Member& b) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  return a.name < b.name;
}

// The member lists of the objects being written, one per nesting level, kept
// by each thread from one document to the next so that writing allocates
// nothing once they have grown. A deque: growing it moves no list in use.
std::vector<Member>& membersAt(size_t depth) {
  thread_local std::deque<std::vector<Member>> lists;
  while (lists.size() <= depth) lists.emplace_back();
  return lists[depth];
}

// `members` (object members in document order) in byte order of their names;
// of duplicate names only the last member stays, in its name's place.
void sortMembers(std::vector<Member>& members) {
  if (members.size() <= 32) {
    // Insertion sort: stable, and quicker than a merge sort for an event's
    // few dozen members.
    for (size_t i = 1; i < members.size(); ++i) {
      if (!before(members[i], members[i - 1])) continue;
      const Member member = members[i];
      size_t j = i;
      for (; j > 0 && before(member, members[j - 1]); --j) members[j] = members[j - 1];
      members[j] = member;
    }
  } else {
    std::stable_sort(members.begin(), members.end(), before);
  }
  size_t kept = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    if (i + 1 < members.size() && members[i + 1].prefix == members[i].prefix &&
        members[i + 1].name == members[i].name) {
      continue;
    }
    members[kept++] = members[i];
  }
  members.resize(kept);
}

}  // namespace

bool appendShortEscape(std::string& out, char c) {
  const char escape = shortEscape(c);
  if (escape == 0) return false;
  out += '\\';
  out += escape;
  return true;
}

// The stream follows the default writer's walk of its tree: `indented_` says
// that the line is already broken and indented, so the next bracket or member
// goes where the cursor is.
Stream::Stream(std::string& text, size_t& used, size_t depth)
    : text_(text), used_(used), tabs_(depth) {}

void Stream::newLine() {
  Buffer out(text_, used_);
  char* cursor = out.room(1 + tabs_);
  *cursor = '\n';
  std::memset(cursor + 1, '\t', tabs_);
  out.advanceTo(cursor + 1 + tabs_);
}

void Stream::putWithIndent(char bracket) {
  if (!indented_) newLine();
  Buffer(text_, used_).put(bracket);
  indented_ = false;
}

void Stream::open(char bracket) {
  putWithIndent(bracket);
  ++tabs_;
  first_.push_back(true);
}

void Stream::close(char bracket) {
  first_.pop_back();
  --tabs_;
  putWithIndent(bracket);
}

void Stream::beginObject() { open('{'); }

void Stream::key(std::string_view name) {
  Buffer out(text_, used_);
  if (!first_.back()) out.put(',');
  first_.back() = false;
  if (!indented_) newLine();
  indented_ = false;
  putQuoted(out, name);
  out.put(" : ");
}

void Stream::endObject() { close('}'); }

void Stream::beginArray() { open('['); }

void Stream::nextElement() {
  // A filled array always takes one line per element, whatever their kind
  // and length (the default writer's comment style asks for that).
  if (!first_.back()) {
    indented_ = false;
    Buffer(text_, used_).put(',');
  }
  first_.back() = false;
  if (!indented_) newLine();
  indented_ = true;
}

void Stream::endArray() {
  indented_ = false;
  close(']');
}

void Stream::value(std::string_view text) {
  Buffer out(text_, used_);
  putQuoted(out, text);
}

void Stream::value(double real) {
  Buffer out(text_, used_);
  putReal(out, real);
}

void Stream::value(int64_t integer) {
  Buffer out(text_, used_);
  putInteger(out, integer);
}

void Stream::value(simdjson::dom::element value) {
  switch (value.type()) {
    case element_type::OBJECT: {
      std::vector<Member>& members = membersAt(first_.size());
      members.clear();
      const simdjson::dom::object object(value);
      for (auto field = object.begin(); field != object.end(); ++field) {
        const std::string_view name = field.key();
        members.push_back({prefixOf(name), name, field.value()});
      }
      if (members.empty()) {
        Buffer(text_, used_).put("{}");
        return;
      }
      sortMembers(members);
      beginObject();
      for (const Member& member : members) {
        key(member.name);
        this->value(member.value);
      }
      endObject();
      return;
    }
    case element_type::ARRAY: {
      const simdjson::dom::array array(value);
      if (array.size() == 0) {
        Buffer(text_, used_).put("[]");
        return;
      }
      beginArray();
      for (const element child : array) {
        nextElement();
        this->value(child);
      }
      endArray();
      return;
    }
    default: {
      Buffer out(text_, used_);
      putScalar(out, value);
    }
  }
}

std::string write(simdjson::dom::element value) {
  std::string out;
  size_t used = 0;
  Stream(out, used, 0).value(value);
  out.resize(used);
  return out;
}

void ArrayText::reserve(size_t bytes) { text_.reserve(bytes); }

void ArrayText::startElement() {
  Buffer(text_, used_).put(used_ == 0 ? "[\n\t" : ",\n\t");
  lastStart_ = used_;
}

void ArrayText::addWritten(std::string_view element) {
  startElement();
  Buffer(text_, used_).put(element);
}

std::string_view ArrayText::lastElement() const {
  return std::string_view(text_.data() + lastStart_, used_ - lastStart_);
}

void ArrayText::add(const std::string& text) {
  // Each element one level deeper: a tab after every line break of its text
  // (line feeds inside strings are escaped, so every one is a break).
  startElement();
  Buffer buffer(text_, used_);
  const char* rest = text.data();
  const char* const end = rest + text.size();
  while (const char* lineEnd = static_cast<const char*>(std::memchr(rest, '\n', end - rest))) {
    buffer.put(std::string_view(rest, static_cast<size_t>(lineEnd + 1 - rest)));
    buffer.put('\t');
    rest = lineEnd + 1;
  }
  buffer.put(std::string_view(rest, static_cast<size_t>(end - rest)));
}

Stream ArrayText::next() {
  startElement();
  return Stream(text_, used_, 1);
}

void ArrayText::add(simdjson::dom::element value) { next().value(value); }

std::string ArrayText::finish() && {
  if (used_ == 0) return "[]";
  Buffer(text_, used_).put("\n]");
  text_.resize(used_);
  // The room was grown ahead of need and filled: a reply held for a slow
  // client would keep all of it. Give back a tail worth the copy.
  const size_t unused = text_.capacity() - used_;
  if (unused > kGiveBackAbove && unused > used_ / 4) text_.shrink_to_fit();
  used_ = 0;
  lastStart_ = 0;
  return std::move(text_);
}

}  // namespace json_layout
