// The feed of indicators: download of its archive and unpacking of the archive
// into the feed file that the store is rebuilt from.
#ifndef THREATS_FEEDDOWNLOAD_H_
#define THREATS_FEEDDOWNLOAD_H_

#include <cstdint>
#include <string>

#include "common/BuildSettings.h"
#include "threats/ThreatsException.h"

namespace threats {

// Bound on the downloaded archive, held in memory: a hostile or broken feed
// must not exhaust the sensor's memory.
inline constexpr uint64_t kMaxFeedBytes = uint64_t{1} << 30;
// Bound on what the archive's entry declares or unpacks to (the entry is
// streamed to the feed file, never held whole): a small archive can unpack
// to gigabytes.
inline constexpr uint64_t kMaxFeedEntryBytes = build_settings::kFeedEntryMaxBytes;

// Name of the feed file that unzipFile writes in its folder.
inline constexpr char kFeedFileName[] = "full.csv";

// A download asked for while another one runs: what() is
// "A download is already running".
class DownloadRunning : public ThreatsException {
 public:
  DownloadRunning();
};

// The body fetched from "application.settings.ioc_full_link": connect
// time-out 10 s, aborted when no byte arrives for
// build_settings::kFeedStallSeconds or the whole transfer passes
// build_settings::kFeedTransferSeconds, no redirects, HTTP status not looked
// at. Throws ThreatsException "Error downloading file" on any failure,
// configuration included (logged with its cause, curl's reason for a failed
// transfer), and when the body grows past kMaxFeedBytes.
std::string downloadFile();

// The content of the archive's last entry (every earlier entry must open),
// without touching any file. Throws ThreatsException with the cause when the
// bytes are no zip archive, the archive holds no entry, an entry cannot be
// opened or read, or the last one declares or unpacks to more than
// `maxBytes` (a declared size past it is refused before anything is read).
std::string unpackedFeed(const std::string& archive, uint64_t maxBytes = kMaxFeedEntryBytes);

// Streams the archive's last entry into `directory` + "/full.csv", replacing
// the old file whole; the entry is never held in memory. Throws
// ThreatsException "Error in unzipFile" (logged with its cause) in the cases
// of unpackedFeed and when the file cannot be written; the old file is then
// left as it was.
void unzipFile(const std::string& archive, const std::string& directory,
               uint64_t maxBytes = kMaxFeedEntryBytes);

// Downloads and unpacks into "application.settings.ioc_full_file_path", on
// the calling thread. One download runs at a time: another asked for
// meanwhile throws DownloadRunning at once. Throws std::runtime_error with
// the text of any other failure.
void downloadAndUnzipAsync();

}  // namespace threats

#endif  // THREATS_FEEDDOWNLOAD_H_
