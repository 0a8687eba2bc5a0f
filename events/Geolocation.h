// Geolocation of alert endpoints: the site's own location for private
// addresses, and the process-wide city database for the others.
#ifndef EVENTS_GEOLOCATION_H_
#define EVENTS_GEOLOCATION_H_

#include <sys/types.h>

#include <ctime>
#include <memory>
#include <string>

struct MMDB_s;

// The site's own location, reported for private addresses. Read per request
// from "application.settings.country", "city", "latitude" and "longitude".
struct GeoPoint {
  std::string country;
  std::string city;
  double latitude = 0.0;   // degrees, north positive
  double longitude = 0.0;  // degrees, east positive
};

// One opened city database file (memory-mapped, read-only). Lookups through
// handle() are safe from both worker threads at once. The file is closed when
// the last request holding it lets it go.
class GeoDatabase {
 public:
  // The process-wide database for `path`. The shared one is reused while it
  // was opened from the same file (same path, and the file's device, inode,
  // size and modification time unchanged); otherwise the file is opened afresh
  // and becomes the shared one. A request keeps the database it acquired until
  // it is done, even while another request swaps in a new one.
  // Throws std::runtime_error "Cannot open GeoLite2" when the file cannot be
  // opened (the library's reason is logged at alert priority).
  static std::shared_ptr<const GeoDatabase> acquire(const std::string& path);

  const MMDB_s* handle() const { return handle_.get(); }

  // What identifies the file on disk; a replaced or rewritten file differs.
  struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileIdentity& other) const;
  };

 private:
  struct Closer {
    void operator()(MMDB_s* handle) const;
  };

  GeoDatabase(std::string path, FileIdentity identity, std::unique_ptr<MMDB_s, Closer> handle);

  std::string path_;
  FileIdentity identity_;
  std::unique_ptr<MMDB_s, Closer> handle_;  // never null
};

#endif  // EVENTS_GEOLOCATION_H_
