// The process-wide city database: opened once per file, shared read-only by
// the requests, swapped under a mutex when the configured file changes.
#include "events/Geolocation.h"

#include <maxminddb.h>
#include <sys/stat.h>

#include <mutex>
#include <stdexcept>
#include <utility>

#include "common/Log.h"

namespace {

std::mutex g_mutex;
std::shared_ptr<const GeoDatabase> g_current;  // guarded by g_mutex

// Identity of the file at `path`; false when it cannot be examined.
bool identify(const std::string& path, GeoDatabase::FileIdentity& identity) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  return true;
}

}  // namespace

bool GeoDatabase::FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

void GeoDatabase::Closer::operator()(MMDB_s* handle) const {
  MMDB_close(handle);
  delete handle;
}

GeoDatabase::GeoDatabase(std::string path, FileIdentity identity,
                         std::unique_ptr<MMDB_s, Closer> handle)
    : path_(std::move(path)), identity_(identity), handle_(std::move(handle)) {}

std::shared_ptr<const GeoDatabase> GeoDatabase::acquire(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  FileIdentity identity;
  const bool known = identify(path, identity);
  if (known && g_current && g_current->path_ == path && g_current->identity_ == identity) {
    return g_current;
  }

  // MMDB_open releases what it allocated when it fails; only the struct is ours then.
  auto opening = std::make_unique<MMDB_s>();
  const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, opening.get());
  if (status != MMDB_SUCCESS) {
    logging::alert("Cannot open GeoLite2 database: %s", MMDB_strerror(status));
    throw std::runtime_error("Cannot open GeoLite2");
  }
  std::unique_ptr<MMDB_s, Closer> handle(opening.release());
  g_current =
      std::shared_ptr<const GeoDatabase>(new GeoDatabase(path, identity, std::move(handle)));
  return g_current;
}
