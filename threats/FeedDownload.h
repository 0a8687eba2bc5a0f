// The feed of indicators: download of its archive and unpacking of the archive
// into the feed file that the store is rebuilt from.
#ifndef THREATS_FEEDDOWNLOAD_H_
#define THREATS_FEEDDOWNLOAD_H_

#include <cstdint>
#include <string>

#include "threats/ThreatsException.h"

namespace threats {

// Bound on the downloaded archive and on the unpacked feed file, both held
// in memory: a hostile or broken feed must not exhaust the sensor's memory.
inline constexpr uint64_t kMaxFeedBytes = uint64_t{1} << 30;

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
// opened or read, or the last one unpacks to more than `maxBytes`.
std::string unpackedFeed(const std::string& archive, uint64_t maxBytes = kMaxFeedBytes);

// Writes the archive's last entry as `directory` + "/full.csv", replacing the
// old file whole. Throws ThreatsException "Error in unzipFile" (logged with
// its cause) when the bytes are no zip archive, the archive holds no entry,
// an entry cannot be opened or read, the entry unpacks to more than
// `maxBytes`, or the file cannot be written; the old file is then left as it was.
void unzipFile(const std::string& archive, const std::string& directory,
               uint64_t maxBytes = kMaxFeedBytes);

// Downloads and unpacks into "application.settings.ioc_full_file_path", on
// the calling thread. Throws std::runtime_error with the text of the failure.
void downloadAndUnzipAsync();

}  // namespace threats

#endif  // THREATS_FEEDDOWNLOAD_H_
