// The feed: download of the archive and its unpacking into the feed file.
#include "threats/FeedDownload.h"

#include <curl/curl.h>
#include <zip.h>

#include <memory>
#include <mutex>

#include "common/AtomicFile.h"
#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "common/NoFollow.h"

namespace {

constexpr long kConnectTimeoutSeconds = 10;
// A transfer slower than this many bytes a second for the stall time ends.
constexpr long kStallBytesPerSecond = 1;
constexpr zip_uint64_t kReadChunk = 64 * 1024;

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

// Opens the zip archive held in `archive` (which must outlive it).
ZipPtr openArchive(const std::string& archive) {
  zip_error_t error;
  zip_error_init(&error);
  ZipSourcePtr source(zip_source_buffer_create(archive.data(), archive.size(), 0, &error),
                      zip_source_free);
  if (!source) throw ThreatsException("Error creating zip_source: " + zipErrorText(&error));
  ZipPtr zip(zip_open_from_source(source.get(), 0, &error));
  if (!zip) throw ThreatsException("Error opening zip file: " + zipErrorText(&error));
  source.release();  // the archive owns its source from here on
  zip_error_fini(&error);
  return zip;
}

ThreatsException tooLarge(const char* what, uint64_t size, uint64_t maxBytes) {
  return ThreatsException(std::string("the feed file ") + what + " " + std::to_string(size) +
                          " bytes, more than the bound of " + std::to_string(maxBytes));
}

// Hands entry `index` to `sink` piece by piece. An entry that declares more
// than `maxBytes` is refused before anything is read, one that unpacks to
// more (its declared size may lie) as soon as it passes the bound.
void streamEntry(zip_t* archive, zip_uint64_t index, uint64_t maxBytes, const ChunkSink& sink) {
  zip_stat_t info;
  zip_stat_init(&info);
  if (zip_stat_index(archive, index, 0, &info) == 0 && (info.valid & ZIP_STAT_SIZE) != 0 &&
      info.size > maxBytes) {
    throw tooLarge("declares", info.size, maxBytes);
  }
  ZipFilePtr entry(zip_fopen_index(archive, index, 0), zip_fclose);
  if (!entry) throw ThreatsException("Error opening zip file");
  std::unique_ptr<char[]> buffer(new char[kReadChunk]);
  uint64_t total = 0;
  zip_int64_t got = 0;
  while ((got = zip_fread(entry.get(), buffer.get(), kReadChunk)) > 0) {
    total += static_cast<uint64_t>(got);
    if (total > maxBytes) throw tooLarge("unpacks to at least", total, maxBytes);
    sink(buffer.get(), static_cast<size_t>(got));
  }
  if (got < 0) {
    throw ThreatsException(std::string("Error reading zip entry: ") +
                           zip_file_strerror(entry.get()));
  }
}

// Streams the archive's last entry into `sink`; every entry goes to the same
// file, so only the last one's bytes remain and the earlier ones need only
// open.
void streamLastEntry(const std::string& archive, uint64_t maxBytes, const ChunkSink& sink) {
  const ZipPtr zip = openArchive(archive);
  const zip_int64_t entries = zip_get_num_entries(zip.get(), 0);
  if (entries <= 0) throw ThreatsException("the archive holds no entry");
  for (zip_int64_t i = 0; i + 1 < entries; ++i) {
    ZipFilePtr entry(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0), zip_fclose);
    if (!entry) throw ThreatsException("Error opening zip file");
  }
  streamEntry(zip.get(), static_cast<zip_uint64_t>(entries - 1), maxBytes, sink);
}

// One feed download at a time: each holds the archive in memory and writes
// the same feed file.
std::mutex g_downloadMutex;

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

DownloadRunning::DownloadRunning() : ThreatsException("A download is already running") {}

std::string unpackedFeed(const std::string& archive, uint64_t maxBytes) {
  std::string content;
  streamLastEntry(archive, maxBytes,
                  [&content](const char* data, size_t size) { content.append(data, size); });
  return content;
}

void unzipFile(const std::string& archive, const std::string& directory, uint64_t maxBytes) {
  try {
    replaceFileAtomically(directory + "/" + threats::kFeedFileName,
                          [&](const ChunkSink& sink) { streamLastEntry(archive, maxBytes, sink); });
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error in unzipFile: ") + e.what());
    logging::alert("Error in unzipFile:%s", e.what());
    rethrowIfSymbolicLink(e);
    throw ThreatsException("Error in unzipFile");
  }
}

void downloadAndUnzipAsync() {
  const std::unique_lock<std::mutex> running(g_downloadMutex, std::try_to_lock);
  if (!running.owns_lock()) throw DownloadRunning();
  try {
    const std::string directory = config::readString(config::kIocFullFilePath);
    unzipFile(downloadFile(), directory);
  } catch (const std::exception& e) {
    logging::errorLine(std::string("Error in downloadAndUnzipAsync: ") + e.what());
    logging::alert("Error in downloadAndUnzipAsync:%s", e.what());
    rethrowIfSymbolicLink(e);
    throw std::runtime_error(e.what());
  }
}

}  // namespace threats
