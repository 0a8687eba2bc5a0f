// The feed: download of the archive, its unpacking into the feed file, and
// the rebuild of the local indicator store from that file.
#include "threats/Threats.h"

#include <syslog.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>

#include <curl/curl.h>
#include <json/value.h>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/JsonText.h"
#include "threats/ThreatsSupport.h"

namespace {

constexpr char kFeedFileName[] = "full.csv";
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTransferTimeoutSeconds = 15;
constexpr zip_uint64_t kReadChunk = 64 * 1024;
constexpr zip_uint64_t kMaxReserve = 256 * 1024 * 1024;

using CurlPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using ZipSourcePtr = std::unique_ptr<zip_source_t, decltype(&zip_source_free)>;
using ZipFilePtr = std::unique_ptr<zip_file_t, decltype(&zip_fclose)>;

// Closes an archive that was not closed on purpose, discarding it.
struct ZipDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;

// Collects the body; a chunk past the bound stops the transfer.
size_t appendChunk(char* data, size_t size, size_t count, void* body) {
  auto& text = *static_cast<std::string*>(body);
  if (text.size() + size * count > Threats::kMaxFeedBytes) return 0;
  text.append(data, size * count);
  return size * count;
}

std::string zipErrorText(zip_error_t* error) {
  const std::string text = zip_error_strerror(error);
  zip_error_fini(error);
  return text;
}

// The whole content of entry `index`, at most `maxBytes` of it.
std::string readEntry(zip_t* archive, zip_uint64_t index, uint64_t maxBytes) {
  zip_stat_t info;
  zip_stat_init(&info);
  zip_stat_index(archive, index, 0, &info);
  ZipFilePtr entry(zip_fopen_index(archive, index, 0), zip_fclose);
  if (!entry) throw ThreatsException("Error opening zip file");
  std::string content;
  // The size is the archive's own claim: trusted for a reservation only up to a bound.
  if (info.valid & ZIP_STAT_SIZE) content.reserve(std::min<zip_uint64_t>(info.size, kMaxReserve));
  char buffer[kReadChunk];
  zip_int64_t got = 0;
  while ((got = zip_fread(entry.get(), buffer, sizeof buffer)) > 0) {
    if (content.size() + static_cast<uint64_t>(got) > maxBytes) {
      throw ThreatsException("the feed file unpacks to more than " + std::to_string(maxBytes) +
                             " bytes");
    }
    content.append(buffer, static_cast<size_t>(got));
  }
  if (got < 0) {
    throw ThreatsException(std::string("Error reading zip entry: ") +
                           zip_file_strerror(entry.get()));
  }
  return content;
}

// Whole hours from `then` to now, truncated toward zero; counted in seconds so
// that dates centuries away cannot overflow.
int64_t hoursSince(time_t then) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now).count() - static_cast<int64_t>(then);
  return seconds / 3600;
}

}  // namespace

std::string Threats::downloadFile() {
  try {
    const std::string link = config::readString(config::kIocFullLink);
    std::string body;
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return body;
    curl_easy_setopt(curl.get(), CURLOPT_URL, link.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendChunk);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) {
      throw ThreatsException(std::string("Error downloading file: ") + curl_easy_strerror(result));
    }
    return body;
  } catch (const std::exception& e) {
    std::cerr << "Error downloading file: " << e.what() << std::endl;
    syslog(LOG_ALERT, "Error downloading file:%s", e.what());
    throw ThreatsException("Error downloading file");
  }
}

std::string Threats::unpackedFeed(const std::string& archive, uint64_t maxBytes) {
  zip_error_t error;
  zip_error_init(&error);
  ZipSourcePtr source(zip_source_buffer_create(archive.data(), archive.size(), 0, &error),
                      zip_source_free);
  if (!source) throw ThreatsException("Error creating zip_source: " + zipErrorText(&error));
  ZipPtr zip(zip_open_from_source(source.get(), 0, &error));
  if (!zip) throw ThreatsException("Error opening zip file: " + zipErrorText(&error));
  source.release();  // the archive owns its source from here on
  zip_error_fini(&error);

  const zip_int64_t entries = zip_get_num_entries(zip.get(), 0);
  if (entries <= 0) throw ThreatsException("the archive holds no entry");
  // Every entry goes to the same file, so only the last one's bytes remain;
  // the earlier ones need only open.
  for (zip_int64_t i = 0; i + 1 < entries; ++i) {
    ZipFilePtr entry(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0), zip_fclose);
    if (!entry) throw ThreatsException("Error opening zip file");
  }
  return readEntry(zip.get(), static_cast<zip_uint64_t>(entries - 1), maxBytes);
}

void Threats::unzipFile(const std::string& archive, const std::string& directory,
                        uint64_t maxBytes) {
  try {
    replaceFileAtomically(directory + "/" + kFeedFileName, unpackedFeed(archive, maxBytes));
  } catch (const std::exception& e) {
    std::cerr << "Error in unzipFile: " << e.what() << std::endl;
    syslog(LOG_ALERT, "Error in unzipFile:%s", e.what());
    throw ThreatsException("Error in unzipFile");
  }
}

void Threats::downloadAndUnzipAsync() {
  try {
    const std::string directory = config::readString(config::kIocFullFilePath);
    unzipFile(downloadFile(), directory);
  } catch (const std::exception& e) {
    std::cerr << "Error in downloadAndUnzipAsync: " << e.what() << std::endl;
    syslog(LOG_ALERT, "Error in downloadAndUnzipAsync:%s", e.what());
    throw std::runtime_error(e.what());
  }
}

bool Threats::processThreats(int32_t n_days) {
  std::string feedPath;
  std::string storePath;
  try {
    const auto paths = threats_support::readSettings(
        {config::kIocFullFileName, config::kIocLocalFileName}, "Error reading config file",
        threats_support::kNotFoundLogSpaced);
    feedPath = paths[0];
    storePath = paths[1];
  } catch (const ThreatsException&) {
    return false;  // logged where it failed
  }

  std::ifstream feed(feedPath);
  if (!feed.is_open()) {
    syslog(LOG_ALERT, "Cannot open input file: %s", feedPath.c_str());
    return false;
  }
  Json::Value store;  // null until the first record: the store's form of "none"
  std::string line;
  while (std::getline(feed, line)) {
    if (!line.empty() && line[0] == '#') continue;
    if (!isWithinNDays(line.substr(0, line.find(',')), n_days)) continue;
    const ThreatItem item = ThreatItem::parse_csv1(line);
    if (!isWithinValidTypes(item)) continue;
    store.append(item.toJson());
  }
  if (feed.bad()) {
    syslog(LOG_ALERT, "Cannot read input file: %s", feedPath.c_str());
    return false;
  }

  try {
    const std::lock_guard<std::mutex> lock(threats_support::storeMutex());
    replaceFileAtomically(storePath, json_text::write(store));
  } catch (const std::runtime_error& e) {
    syslog(LOG_ALERT, "Cannot open output file: %s", e.what());
    return false;
  }
  return true;
}

bool Threats::isWithinNDays(const std::string& date, int32_t n_days) {
  std::string text;
  text.reserve(date.size());
  for (char c : date) {
    if (c != '"') text += c;
  }
  std::tm when{};
  if (strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &when) == nullptr) return false;
  // The feed gives its times in UTC, whatever the host's zone.
  return 24 * static_cast<int64_t>(n_days) >= hoursSince(timegm(&when));
}

bool Threats::isWithinValidTypes(const ThreatItem& item) {
  return item.ioc_type == "ip:port" || item.ioc_type == "url" || item.ioc_type == "domain";
}
