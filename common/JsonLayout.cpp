// The default stream writer's layout for simdjson documents. The rules below
// follow that writer step for step: where a line breaks, how numbers and
// strings are spelled.
#include "common/JsonLayout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace json_layout {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

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

void appendEscape(std::string& out, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

// `text` quoted: `"` and `\` escaped, the short escapes for backspace, form
// feed, line feed, carriage return and tab, \u00XX for other control
// characters, and every code point past ASCII as \uXXXX (two for those
// beyond the basic plane). A slash stays as it is.
// The bytes written as they are inside a quoted string.
constexpr auto kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  const char* const end = text.data() + text.size();
  const char* c = text.data();
  while (c != end) {
    // Printable ASCII other than '"' and '\\' goes out as it is, a run at a time.
    const char* plain = c;
    while (plain != end && kPlain[static_cast<unsigned char>(*plain)]) ++plain;
    out.append(c, static_cast<size_t>(plain - c));
    if (plain == end) break;
    c = plain;
    if (!appendShortEscape(out, *c)) {
      const unsigned point = codePoint(c, end);
      if (point < 0x20) {
        appendEscape(out, point);
      } else if (point < 0x80) {
        out += static_cast<char>(point);
      } else if (point < 0x10000) {
        appendEscape(out, point);
      } else {
        appendEscape(out, 0xD800 + (((point - 0x10000) >> 10) & 0x3FF));
        appendEscape(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
      }
    }
    ++c;
  }
  out += '"';
}

// 17 significant digits, and ".0" when that leaves neither a point nor an
// exponent, so that a real number still reads as one.
std::string realText(double value) {
  char buffer[40];
  const int length = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  std::string text(buffer, static_cast<size_t>(length));
  if (text.find('.') == std::string::npos && text.find('e') == std::string::npos) text += ".0";
  return text;
}

void appendScalar(std::string& out, element value) {
  switch (value.type()) {
    case element_type::INT64: out += std::to_string(int64_t(value)); break;
    case element_type::UINT64: out += std::to_string(uint64_t(value)); break;
    case element_type::DOUBLE: out += realText(double(value)); break;
    case element_type::BOOL: out += bool(value) ? "true" : "false"; break;
    case element_type::STRING: appendQuoted(out, std::string_view(value)); break;
    default: out += "null";
  }
}

// The members of `object` in byte order of their names; of duplicate names
// only the last member stays, in its name's place.
std::vector<std::pair<std::string_view, element>> sortedMembers(simdjson::dom::object object) {
  std::vector<std::pair<std::string_view, element>> members;
  for (const simdjson::dom::key_value_pair field : object) members.emplace_back(field.key, field.value);
  std::stable_sort(members.begin(), members.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<std::string_view, element>> kept;
  kept.reserve(members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    if (i + 1 < members.size() && members[i + 1].first == members[i].first) continue;
    kept.push_back(members[i]);
  }
  return kept;
}

// One document written the way the default stream writer walks its tree.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void write(element root) {
    indented_ = true;
    writeValue(root);
  }

 private:
  void newLine() {
    out_ += '\n';
    out_ += indent_;
  }
  void writeWithIndent(std::string_view text) {
    if (!indented_) newLine();
    out_ += text;
    indented_ = false;
  }

  void writeValue(element value) {
    switch (value.type()) {
      case element_type::OBJECT: writeObject(value); break;
      case element_type::ARRAY: writeArray(value); break;
      default: appendScalar(out_, value);
    }
  }

  void writeObject(simdjson::dom::object object) {
    const auto members = sortedMembers(object);
    if (members.empty()) {
      out_ += "{}";
      return;
    }
    writeWithIndent("{");
    indent_ += '\t';
    for (size_t i = 0; i < members.size(); ++i) {
      if (!indented_) newLine();
      indented_ = false;
      appendQuoted(out_, members[i].first);
      out_ += " : ";
      writeValue(members[i].second);
      if (i + 1 < members.size()) out_ += ',';
    }
    indent_.pop_back();
    writeWithIndent("}");
  }

  // A filled array always takes one line per element, whatever their kind
  // and length (the default writer's comment style asks for that).
  void writeArray(simdjson::dom::array array) {
    if (array.size() == 0) {
      out_ += "[]";
      return;
    }
    writeWithIndent("[");
    indent_ += '\t';
    bool first = true;
    for (const element child : array) {
      if (!first) out_ += ',';
      first = false;
      if (!indented_) newLine();
      indented_ = true;
      writeValue(child);
      indented_ = false;
    }
    indent_.pop_back();
    writeWithIndent("]");
  }

  std::string& out_;
  std::string indent_;     // one tab per open object or array
  bool indented_ = false;  // the line is already broken and indented
};

}  // namespace

bool appendShortEscape(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; return true;
    case '\\': out += "\\\\"; return true;
    case '\b': out += "\\b"; return true;
    case '\f': out += "\\f"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    case '\t': out += "\\t"; return true;
    default: return false;
  }
}

std::string write(simdjson::dom::element value) {
  std::string out;
  Writer(out).write(value);
  return out;
}

void ArrayText::add(const std::string& text) {
  // Each element one level deeper: a tab after every line break of its text
  // (line feeds inside strings are escaped, so every one is a break).
  text_ += text_.empty() ? "[\n\t" : ",\n\t";
  const char* rest = text.data();
  const char* const end = rest + text.size();
  while (const char* lineEnd = static_cast<const char*>(std::memchr(rest, '\n', end - rest))) {
    text_.append(rest, static_cast<size_t>(lineEnd + 1 - rest));
    text_ += '\t';
    rest = lineEnd + 1;
  }
  text_.append(rest, static_cast<size_t>(end - rest));
}

std::string ArrayText::finish() const { return text_.empty() ? "[]" : text_ + "\n]"; }

}  // namespace json_layout
