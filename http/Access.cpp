// The access checks of the frame: origin, then token.
#include "http/Access.h"

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <libconfig.h++>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/Configuration.h"
#include "common/FileCache.h"
#include "common/Log.h"
#include "common/SmallFile.h"
#include "http/Audit.h"

namespace http::access {

namespace {

constexpr char kWhiteSpace[] = " \t\r\n\v\f";
// A token file is tiny; a larger one is no token file.
constexpr size_t kMaxTokenFileBytes = 4096;

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

// What is logged once per file rather than per request: the warning about
// a file others may read (per file identity) and the alert about a token
// that cannot be read (per path, again whenever its reason changes).
class OncePerFile {
 public:
  bool firstLooseFile(dev_t device, ino_t inode) {
    const std::lock_guard<std::mutex> hold(mutex_);
    return looseFiles_.emplace(device, inode).second;
  }
  bool newProblem(const std::string& path, const std::string& problem) {
    const std::lock_guard<std::mutex> hold(mutex_);
    std::string& last = problems_[path];
    if (last == problem) return false;
    last = problem;
    return !problem.empty();
  }

 private:
  std::mutex mutex_;
  std::set<std::pair<dev_t, ino_t>> looseFiles_;
  std::map<std::string, std::string> problems_;  // path -> reason last logged
};

OncePerFile& once() {
  static OncePerFile* state = new OncePerFile;
  return *state;
}

std::runtime_error fileError(const std::string& path, const std::string& what) {
  return std::runtime_error("Token file " + path + ": " + what);
}

// The token of `path`, or the reason it has none (logged as an alert the
// first time it is seen for that path).
std::optional<std::string> tokenOrLog(const std::string& path) {
  try {
    std::string token = readToken(path);
    once().newProblem(path, "");
    return token;
  } catch (const std::exception& e) {
    if (once().newProblem(path, e.what())) {
      logging::alert("Access token unavailable, every request is refused: %s", e.what());
    }
    return std::nullopt;
  }
}

Reply refusal(const Request& request, Status code, const char* text, const char* logReason) {
  audit::refused(request, static_cast<int>(code), logReason);
  return Reply{code, text, ContentType::kPlain, {}};
}

Reply unauthorized(const Request& request, const char* logReason) {
  Reply reply =
      refusal(request, Status::kUnauthorized, "A valid bearer token is required", logReason);
  reply.headers.emplace_back("WWW-Authenticate", "Bearer");
  return reply;
}

Reply unavailable(const char* text) {
  return Reply{Status::kServiceUnavailable, text, ContentType::kPlain, {}};
}

// Why the request's credentials are refused, or nothing when the token
// `expected` is offered.
std::optional<Reply> tokenRefusal(const Request& request, const std::string& expected) {
  const std::optional<std::string> authorization = header(request, "Authorization");
  if (!authorization) return unauthorized(request, "no token");
  const std::optional<std::string> offered = bearerToken(*authorization);
  if (!offered) return unauthorized(request, "not a bearer token");
  if (!sameToken(*offered, expected)) return unauthorized(request, "wrong token");
  return std::nullopt;
}

// The requests that a server without a usable configuration still serves:
// preflights and its health report, which tells why.
bool servedWithoutConfiguration(const Request& request) {
  return request.method == "OPTIONS" || (request.method == "GET" && request.path == "/health");
}

std::optional<Reply> refusalOf(const Request& request, const Settings& settings) {
  if (settings.unreadable) {
    if (servedWithoutConfiguration(request)) return std::nullopt;
    audit::refused(request, static_cast<int>(Status::kServiceUnavailable),
                   "configuration unreadable");
    return unavailable("Configuration unreadable");
  }
  if (settings.unusableKey) {
    if (once().newProblem(*settings.unusableKey, "not a string")) {
      logging::alert("Access setting %s is not a string, every request is refused",
                     settings.unusableKey->c_str());
    }
    return unavailable("Access settings unusable");
  }
  const std::optional<std::string> origin = header(request, "Origin");
  if (settings.allowedOrigin && origin && *origin != *settings.allowedOrigin) {
    return refusal(request, Status::kForbidden, "Origin not allowed", "origin not allowed");
  }
  if (!settings.tokenFile || request.method == "OPTIONS") {
    return std::nullopt;
  }
  const std::optional<std::string> token = tokenOrLog(*settings.tokenFile);
  if (!token) return unavailable("Access token unavailable");
  return tokenRefusal(request, *token);
}

}  // namespace

namespace {

// The two keys of one content of the configuration file. Every request asks
// for them, most routes need nothing else of the file: they are parsed again
// only when the file has changed.
class SettingsParse {
 public:
  // Throws libconfig::ParseException for text that is not valid syntax.
  explicit SettingsParse(file_cache::FileText text) : text_(std::move(text)) {
    libconfig::Config cfg;
    cfg.readString(std::string(text_.view()));
    config::requireSettings(cfg);
    for (const auto& [key, value] : {std::pair{config::kApiTokenFile, &settings_.tokenFile},
                                     std::pair{config::kAllowedOrigin, &settings_.allowedOrigin}}) {
      if (!cfg.exists(key)) continue;
      const libconfig::Setting& setting = cfg.lookup(key);
      if (setting.getType() != libconfig::Setting::TypeString) {
        settings_.unusableKey = key;
      } else {
        *value = static_cast<const char*>(setting);
      }
    }
  }
  std::string_view source() const { return text_.view(); }
  const Settings& settings() const { return settings_; }

 private:
  file_cache::FileText text_;
  Settings settings_;
};

}  // namespace

namespace {

// The settings of the last usable content of the configuration file, and
// whether its latest read failed and why, so that each change is logged once.
class LastGoodSettings {
 public:
  Settings usable(const Settings& settings) {
    const std::lock_guard<std::mutex> hold(mutex_);
    lastGood_ = settings;
    if (!problem_.empty()) {
      logging::info("Configuration file %s can be used again", config::path());
      problem_.clear();
    }
    return settings;
  }
  Settings unusable(const std::string& problem) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (problem != problem_) {
      problem_ = problem;
      if (lastGood_) {
        logging::alert(
            "Configuration file cannot be used, the last good access settings stay "
            "in force: %s",
            problem.c_str());
      } else {
        logging::alert(
            "Configuration file cannot be used and none was read since start, "
            "every request but OPTIONS and /health is refused: %s",
            problem.c_str());
      }
    }
    if (lastGood_) return *lastGood_;
    Settings none;
    none.unreadable = problem;
    return none;
  }

 private:
  std::mutex mutex_;
  std::optional<Settings> lastGood_;
  std::string problem_;  // of the latest read; empty while the file is usable
};

}  // namespace

Settings readSettings() {
  static file_cache::FileCache<SettingsParse> cache;
  static LastGoodSettings* history = new LastGoodSettings;
  try {
    return history->usable(cache.get(config::path())->settings());
  } catch (const std::exception& e) {  // unreadable, not valid syntax, no settings
    return history->unusable(config::problemOf(e));
  }
}

Verdict judge(const Request& request, const Settings& settings) {
  Verdict verdict;
  if (settings.allowedOrigin) verdict.allowOrigin = *settings.allowedOrigin;
  verdict.refusal = refusalOf(request, settings);
  return verdict;
}

bool tokenRequired(const Settings& settings) {
  return settings.tokenFile || settings.unusableKey || settings.unreadable;
}

std::string readToken(const std::string& path) {
  const small_file::Contents file = small_file::read(path, kMaxTokenFileBytes, "Token file");
  const mode_t mode = file.status.st_mode;
  if ((mode & (S_IRGRP | S_IROTH)) != 0 &&
      once().firstLooseFile(file.status.st_dev, file.status.st_ino)) {
    logging::warning(
        "Token file %s can be read by others than its owner (mode %03o); "
        "restrict it with chmod 600",
        path.c_str(), static_cast<unsigned>(mode & 0777));
  }
  std::string token = trimmed(file.text);
  if (token.empty()) throw fileError(path, "empty");
  return token;
}

void checkAtStart() {
  const Settings settings = readSettings();
  if (settings.tokenFile) tokenOrLog(*settings.tokenFile);
}

std::optional<std::string> bearerToken(const std::string& authorization) {
  static constexpr char kScheme[] = "bearer";
  const std::string value = trimmed(authorization);
  const size_t schemeLength = sizeof kScheme - 1;
  if (value.size() <= schemeLength || (value[schemeLength] != ' ' && value[schemeLength] != '\t')) {
    return std::nullopt;
  }
  for (size_t i = 0; i < schemeLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(value[i])) != kScheme[i]) return std::nullopt;
  }
  std::string token = trimmed(value.substr(schemeLength));
  if (token.empty()) return std::nullopt;
  return token;
}

bool sameToken(const std::string& offered, const std::string& expected) {
  if (offered.size() != expected.size()) return false;
  return CRYPTO_memcmp(offered.data(), expected.data(), expected.size()) == 0;
}

}  // namespace http::access
