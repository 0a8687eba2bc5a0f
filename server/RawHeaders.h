// The header block of a request as it came off the wire. The HTTP library
// keeps only the first of two headers of one name; the access checks must
// know that there were two.
#ifndef SERVER_RAWHEADERS_H_
#define SERVER_RAWHEADERS_H_

#include <pistache/http.h>

#include <cstddef>
#include <string_view>

namespace raw_headers {

// How many header lines of the request now being answered on `response`'s
// connection are named `name` (case-insensitive). Reads the library's parse
// buffer of that connection, which holds the request from its first byte
// while its handler runs. Returns 0 when the connection has no parser.
size_t count(const Pistache::Http::ResponseWriter& response, std::string_view name);

// The same count in `block`: the request line and its header lines, each
// ending in CRLF, up to the empty line (or to the end). Lines that begin
// with a blank continue the previous one and are not headers.
size_t countIn(std::string_view block, std::string_view name);

}  // namespace raw_headers

#endif  // SERVER_RAWHEADERS_H_
