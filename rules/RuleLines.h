// The logical lines of a rules file: a line whose last byte other than white
// space is a backslash goes on in the next line.
//
// Suricata's loader reads a continued rule so: it drops the backslash and
// the white space after it (the newline, and a carriage return before it,
// included) and appends the next line as it is, leading blanks and all; a
// line that is continued again goes on the same way. Here the same holds for
// a line that starts with "#" or blanks (which the loader skips whole), so a
// continued rule switched off by a "#" on its first line is still read as
// one disabled rule. A continued line cut off
// by the end of the file ends there, without its backslash.
#ifndef RULES_RULELINES_H_
#define RULES_RULELINES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rule_lines {

struct LogicalLine {
  // The joined text: a view into the file when the line is not continued,
  // otherwise into a buffer valid until the next line is visited.
  std::string_view text;
  // The file's bytes of its physical lines: from `begin` up to `end`, the
  // last one's newline excluded.
  size_t begin = 0;
  size_t end = 0;
  size_t lines = 1;  // physical lines
};

// The offset of the backslash that continues `line`, or npos.
inline size_t continuation(std::string_view line) {
  size_t last = line.size();
  while (last > 0 && (line[last - 1] == ' ' || (line[last - 1] >= '\t' && line[last - 1] <= '\r')))
    --last;
  return last > 0 && line[last - 1] == '\\' ? last - 1 : std::string_view::npos;
}

// Calls `visit(line)` for each logical line of `text`, in file order. Lines
// end at a newline; a last one without it still counts.
template <typename Visit>
void forEach(std::string_view text, Visit visit) {
  std::string joined;
  size_t begin = 0;
  while (begin < text.size()) {
    LogicalLine line;
    line.begin = begin;
    joined.clear();
    while (true) {
      const size_t newline = text.find('\n', begin);
      line.end = newline == std::string_view::npos ? text.size() : newline;
      const std::string_view physical = text.substr(begin, line.end - begin);
      const size_t cut = continuation(physical);
      const std::string_view piece = physical.substr(0, cut);
      // A backslash on the file's last line, newline or not, continues
      // nothing: there is no line after it.
      const bool last = cut == std::string_view::npos || newline == std::string_view::npos ||
                        newline + 1 == text.size();
      if (last && line.lines == 1) {
        line.text = piece;
        break;
      }
      joined.append(piece);
      if (last) {
        line.text = joined;
        break;
      }
      begin = newline + 1;
      ++line.lines;
    }
    visit(static_cast<const LogicalLine&>(line));
    begin = line.end + 1;
  }
}

}  // namespace rule_lines

#endif  // RULES_RULELINES_H_
