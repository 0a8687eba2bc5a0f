// URL and request-value text functions shared by the rule search and the
// generation of URL and domain rules from indicators.
#ifndef COMMON_URL_H_
#define COMMON_URL_H_

#include <string>
#include <string_view>

// A URL cut into its parts. Ports, user information and fragments are not
// treated apart: a port stays in `host`, a fragment in `path` or `query`.
struct url {
  std::string protocol;  // before "://", lower case; the whole text when there is none
  std::string host;      // up to the first "/", lower case
  std::string path;      // from that "/" up to the first "?", case kept
  std::string query;     // after the "?", case kept

  // Fills the four members from `text`. Never fails.
  void parse(const std::string& text);
};

// `host` up to its first ":", or unchanged when it has none (an IPv6 literal
// is cut at its first colon).
std::string extract_host_without_port(const std::string& host);

// Decodes "%XY" escapes and "+" as a space. A "%" with fewer than two
// characters after it is dropped. Throws std::invalid_argument ("stoi") when
// no hex digit follows a "%".
std::string urlDecode(const std::string& text);

// Decodes each "%XY" escape (X and Y hex digits, either case) to its byte, as
// a browser's query builder writes them; a "%" without two hex digits after
// it stays as it is, and so does "+" (a time offset such as "+0100" is sent
// unescaped). Never fails.
std::string percentDecoded(std::string_view text);

#endif  // COMMON_URL_H_
