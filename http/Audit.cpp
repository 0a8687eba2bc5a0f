// The audit trail.
#include "http/Audit.h"

#include <exception>
#include <utility>

#include "common/Log.h"

namespace http::audit {

namespace {

// Longest path written; a longer one is cut (the target guard lets 8 KiB through).
constexpr size_t kPathLimit = 200;

// `text` escaped as quoted() does, without the quotes.
std::string escaped(std::string_view text) {
  return logging::escaped(text, logging::Escape::kQuotable);
}

std::string pathOf(const Request& request) {
  const std::string& path = request.path;
  return escaped(std::string_view(path).substr(0, kPathLimit)) +
         (path.size() > kPathLimit ? "..." : "");
}

std::string peerOf(const Request& request) { return escaped(request.peer); }

}  // namespace

Entry entryOf(const Request& request, Subject subject) {
  std::string what;
  try {
    what = subject(request);
  } catch (const std::exception&) {
    what = "subject=?";
  }
  return {peerOf(request), request.method, pathOf(request), std::move(what)};
}

void record(const Entry& entry, int status) {
  logging::notice("Audit: %s %s %s %d%s%s", entry.peer.c_str(), entry.method.c_str(),
                  entry.path.c_str(), status, entry.subject.empty() ? "" : " ",
                  entry.subject.c_str());
}

void refused(const Request& request, int status, const char* reason) {
  logging::warning("Refused request from %s: %s %s %d (%s)", peerOf(request).c_str(),
                   request.method.c_str(), pathOf(request).c_str(), status, reason);
}

std::string quoted(std::string_view text, size_t limit) {
  return '"' + escaped(text.substr(0, limit)) + '"';
}

}  // namespace http::audit
