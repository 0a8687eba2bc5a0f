// URL splitting and percent-decoding.
#include "common/Url.h"

#include <algorithm>
#include <cctype>

namespace {

std::string toLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

void url::parse(const std::string& text) {
  const size_t scheme_end = text.find("://");
  if (scheme_end == std::string::npos) {
    protocol = toLower(text);
    host.clear();
    path.clear();
    query.clear();
    return;
  }
  protocol = toLower(text.substr(0, scheme_end));
  const size_t host_begin = scheme_end + 3;
  const size_t path_begin = text.find('/', host_begin);
  host = toLower(text.substr(host_begin, path_begin - host_begin));
  if (path_begin == std::string::npos) {
    path.clear();
    query.clear();
    return;
  }
  const size_t query_mark = text.find('?', path_begin);
  path = text.substr(path_begin, query_mark - path_begin);
  query = query_mark == std::string::npos ? std::string() : text.substr(query_mark + 1);
}

std::string extract_host_without_port(const std::string& host) {
  return host.substr(0, host.find(':'));
}

std::string urlDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (text.size() - i > 2) {
        decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      }
    } else if (c == '+') {
      decoded += ' ';
    } else {
      decoded += c;
    }
  }
  return decoded;
}

namespace {

// Value of the hex digit `c`, or -1 when it is none.
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}
