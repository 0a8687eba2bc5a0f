// The feed: download of the archive and its unpacking into the feed file.
#include "threats/FeedDownload.h"

#include <zip.h>

#include <algorithm>
#include <memory>

#include <curl/curl.h>

#include "common/AtomicFile.h"
#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Log.h"

namespace {

constexpr char kFeedFileName[] = "full.csv";
constexpr long kConnectTimeoutSeconds = 10;
// A transfer slower than this many bytes a second for the stall time ends.
constexpr long kStallBytesPerSecond = 1;
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
  if (text.size() + size * count > threats::kMaxFeedBytes) return 0;
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


}  // namespace

namespace threats {

std::string downloadFile() {
  try {
    const std::string link = config::readString(config::kIocFullLink);
    std::string body;
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return body;
    curl_easy_setopt(curl.get(), CURLOPT_URL, link.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(build_settings::kFeedStallSeconds));
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT,
                     static_cast<long>(build_settings::kFeedTransferSeconds));
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendChunk);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    char reason[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, reason);
    const CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) {
      // The buffer says which limit ended the transfer; the code's text only "Timeout".
      throw ThreatsException(*reason != '\0' ? reason : curl_easy_strerror(result));
    }
    return body;
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error downloading file: ") + e.what());
    logging::alert("Error downloading file:%s", e.what());
    throw ThreatsException("Error downloading file");
  }
}

std::string unpackedFeed(const std::string& archive, uint64_t maxBytes) {
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

void unzipFile(const std::string& archive, const std::string& directory, uint64_t maxBytes) {
  try {
    replaceFileAtomically(directory + "/" + kFeedFileName, unpackedFeed(archive, maxBytes));
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error in unzipFile: ") + e.what());
    logging::alert("Error in unzipFile:%s", e.what());
    throw ThreatsException("Error in unzipFile");
  }
}

void downloadAndUnzipAsync() {
  try {
    const std::string directory = config::readString(config::kIocFullFilePath);
    unzipFile(downloadFile(), directory);
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error in downloadAndUnzipAsync: ") + e.what());
    logging::alert("Error in downloadAndUnzipAsync:%s", e.what());
    throw std::runtime_error(e.what());
  }
}

}  // namespace threats
