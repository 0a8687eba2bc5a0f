// Counting header lines in the library's raw parse buffer.
#include "server/RawHeaders.h"

#include <pistache/peer.h>
#include <pistache/stream.h>

#include <cctype>
#include <memory>
#include <vector>

namespace raw_headers {

namespace {

// The library keeps a connection's unparsed bytes in private members; an
// explicit instantiation may name them (access is not checked there), and
// the friend function it defines hands the member pointer out.
template <typename Tag, typename Tag::Type member>
struct Expose {
  friend typename Tag::Type memberOf(Tag) { return member; }
};
struct ParserBuffer {
  using Type = Pistache::ArrayStreamBuf<char> Pistache::Http::Private::ParserBase::*;
  friend Type memberOf(ParserBuffer);
};
struct BufferBytes {
  using Type = std::vector<char> Pistache::ArrayStreamBuf<char>::*;
  friend Type memberOf(BufferBytes);
};
template struct Expose<ParserBuffer, &Pistache::Http::Private::ParserBase::buffer>;
template struct Expose<BufferBytes, &Pistache::ArrayStreamBuf<char>::bytes>;

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

size_t countIn(std::string_view block, std::string_view name) {
  size_t found = 0;
  size_t at = block.find("\r\n");  // past the request line
  while (at != std::string_view::npos) {
    at += 2;
    const size_t end = block.find("\r\n", at);
    const std::string_view line =
        block.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (line.empty()) break;  // the end of the header block
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && line[0] != ' ' && line[0] != '\t') {
      std::string_view lineName = line.substr(0, colon);
      while (!lineName.empty() && (lineName.back() == ' ' || lineName.back() == '\t')) {
        lineName.remove_suffix(1);
      }
      if (sameName(lineName, name)) ++found;
    }
    at = end;
  }
  return found;
}

size_t count(const Pistache::Http::ResponseWriter& response, std::string_view name) {
  const std::shared_ptr<Pistache::Tcp::Peer> peer = response.peer();
  if (!peer) return 0;
  const std::shared_ptr<Pistache::Http::RequestParser> parser =
      Pistache::Http::Handler::getParser(peer);
  if (!parser) return 0;
  const std::vector<char>& bytes =
      (parser.get()->*memberOf(ParserBuffer{})).*memberOf(BufferBytes{});
  return countIn(std::string_view(bytes.data(), bytes.size()), name);
}

}  // namespace raw_headers
