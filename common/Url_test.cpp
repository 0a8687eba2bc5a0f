// URL splitting, host and port, and percent-decoding.
#include "common/Url.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(UrlTest, Parse) {
  struct Case {
    const char* text;
    const char* protocol;
    const char* host;
    const char* path;
    const char* query;
  };
  const Case cases[] = {
      {"HTTP://Example.COM/Some/Path?x=1", "http", "example.com", "/Some/Path", "x=1"},
      {"Example.com/a", "example.com/a", "", "", ""},
      {"http://example.com:8080", "http", "example.com:8080", "", ""},
      {"https://h/p?a=B?c#Frag", "https", "h", "/p", "a=B?c#Frag"},
      {"http://h/p#Frag", "http", "h", "/p#Frag", ""},
      {"http://h?q=1", "http", "h?q=1", "", ""},
      {"http://", "http", "", "", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    url u;
    u.parse(c.text);
    EXPECT_EQ(u.protocol, c.protocol) << c.text;
    EXPECT_EQ(u.host, c.host) << c.text;
    EXPECT_EQ(u.path, c.path) << c.text;
    EXPECT_EQ(u.query, c.query) << c.text;
  }
}

TEST(UrlTest, ParseReusedObjectClearsOldParts) {
  url u;
  u.parse("http://a/b?c");
  u.parse("nothing");
  EXPECT_EQ(u.protocol, "nothing");
  EXPECT_EQ(u.host, "");
  EXPECT_EQ(u.path, "");
  EXPECT_EQ(u.query, "");
}

TEST(UrlTest, ExtractHostWithoutPort) {
  const std::pair<const char*, const char*> cases[] = {
      {"example.com:8080", "example.com"},
      {"example.com", "example.com"},
      {"[2001:db8::1]:443", "[2001"},
      {":80", ""},
      {"", ""},
  };
  for (const auto& [host, expected] : cases) {
    EXPECT_EQ(extract_host_without_port(host), expected) << host;
  }
}

TEST(UrlTest, Decode) {
  const std::pair<std::string, std::string> cases[] = {
      {"a%20b+c", "a b c"},
      {"100%", "100"},
      {"%4", "4"},
      {"%41%42", "AB"},
      {"%4g", std::string(1, '\x04') + ""},
      {"50%%", "50"},
      {"", ""},
      {"%2B", "+"},
      {"x%00y", std::string("x\0y", 3)},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(urlDecode(text), expected) << text;
  }
}

TEST(UrlTest, DecodeRejectsEscapeWithoutHexDigit) {
  for (const char* text : {"%zz", "a%g1", "%%41x"}) {
    EXPECT_THROW(urlDecode(text), std::invalid_argument) << text;
  }
}

// Query values as a browser's URLSearchParams escapes them: every "%XY" is
// its byte; a "%" without two hex digits after it and "+" stay as sent.
TEST(UrlTest, PercentDecodedKeepsPlusAndBrokenEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"fe80%3A0000%3A0000%3A0000%3A0202%3Ab3ff%3Afe1e%3A8329",
       "fe80:0000:0000:0000:0202:b3ff:fe1e:8329"},
      {"2024-05-01T13:45:10+0100", "2024-05-01T13:45:10+0100"},
      {"2024-05-01T13%3A45%3A10%2B0100", "2024-05-01T13:45:10+0100"},
      {"a+b%20c", "a+b c"},
      {"%3a%3A%7e%7E", "::~~"},
      {"%", "%"},
      {"%4", "%4"},
      {"50%", "50%"},
      {"%zz", "%zz"},
      {"%4g%g4", "%4g%g4"},
      {"%%41", "%A"},
      {"%2541", "%41"},  // decoded once, never twice
      {"x%00y", std::string("x\0y", 3)},
      {"%1b%5B31m%0d%0A", "\x1b[31m\r\n"},
      {"%C3%A9", "\xc3\xa9"},
      {"%FF", "\xff"},
      {"", ""},
      {"plain", "plain"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(percentDecoded(text), expected) << text;
  }
}
