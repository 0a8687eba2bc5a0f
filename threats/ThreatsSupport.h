// Pieces shared by the threat operations: configuration reads with the
// subsystem's failure texts, the reading of stored JSON documents, and the
// lock that serialises the store's writers.
#ifndef THREATS_THREATSSUPPORT_H_
#define THREATS_THREATSSUPPORT_H_

#include <json/value.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace threats {
class StoreSnapshot;
}

namespace threats_support {

// Log formats for a missing key; the operations differ in one blank.
inline constexpr char kNotFoundLog[] = "Config setting not found:%s";
inline constexpr char kNotFoundLogSpaced[] = "Config setting not found: %s";

// The string settings at `keys`, in order, from one read of the configuration
// file. An unreadable or invalid file is logged at alert priority as "Error
// reading config file:%s" and thrown as ThreatsException `readErrorText`; a
// missing or non-text key is logged with `notFoundLog` and thrown as
// ThreatsException "Config setting not found".
std::vector<std::string> readSettings(std::initializer_list<const char*> keys,
                                      const char* readErrorText = "Error reading config file",
                                      const char* notFoundLog = kNotFoundLog);

// Parses `text`, a stored document (never a request body: those go through
// json_body), as one JSON document. Returns false with the JSON library's
// error text in `error` when it is not valid JSON, nesting past the reader's
// depth limit included.
bool parseJson(std::string_view text, Json::Value& root, std::string& error);

// The store's snapshot at `path` (threats/StoreSnapshot.h), an array or null.
// A store that cannot be opened is logged at alert priority with `openLog`
// and the path, and thrown as ThreatsException "Unable to open IOC file"; one
// that is not JSON is thrown with the JSON library's text, one that holds no
// list with a text naming the path.
std::shared_ptr<const threats::StoreSnapshot> readStore(const std::string& path,
                                                        const char* openLog);

// Held by every writer of the local indicator store for its whole
// read-modify-write, so that no switch or rebuild is lost.
std::mutex& storeMutex();

}  // namespace threats_support

#endif  // THREATS_THREATSSUPPORT_H_
