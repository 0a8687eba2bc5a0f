// Whole-file replacement through a temporary file and rename.
#include "common/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

std::runtime_error fileError(const std::string& what, const std::string& path, int error) {
  return std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

// The file a path names: symbolic links resolved, so that replacing a linked
// configuration file keeps the link.
std::string targetOf(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), free);
  return resolved ? std::string(resolved.get()) : path;
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  explicit TempFile(std::string name) : name_(std::move(name)) {
    fd_ = mkstemp(name_.data());
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!released_) unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  // Closes the descriptor, reporting the error of a delayed write.
  int closeNow() {
    const int result = close(fd_);
    fd_ = -1;
    return result;
  }
  void release() { released_ = true; }

 private:
  std::string name_;
  int fd_ = -1;
  bool released_ = false;
};

}  // namespace

void replaceFileAtomically(const std::string& path, const std::string& content) {
  const std::string target = targetOf(path);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // A short prefix keeps the temporary name within NAME_MAX for any base name.
  TempFile temp(folder + "/." + base.substr(0, 32) + ".tmp.XXXXXX");
  if (temp.fd() < 0) {
    const int error = errno;
    temp.release();
    throw fileError("Cannot create a temporary file to replace", path, error);
  }

  struct stat old;
  if (stat(target.c_str(), &old) == 0) {
    if (fchmod(temp.fd(), old.st_mode & 07777) != 0) {
      throw fileError("Cannot set the mode for", path, errno);
    }
    struct stat fresh;
    if (fstat(temp.fd(), &fresh) == 0 &&
        (fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
        fchown(temp.fd(), old.st_uid, old.st_gid) != 0) {
      throw fileError("Cannot keep the owner of", path, errno);
    }
  } else if (fchmod(temp.fd(), 0644) != 0) {
    throw fileError("Cannot set the mode for", path, errno);
  }

  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t written = write(temp.fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw fileError("Cannot write", path, errno);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (fsync(temp.fd()) != 0) throw fileError("Cannot write", path, errno);
  if (temp.closeNow() != 0) throw fileError("Cannot write", path, errno);
  if (rename(temp.name().c_str(), target.c_str()) != 0) {
    throw fileError("Cannot replace", path, errno);
  }
  temp.release();

  // Make the rename itself durable; the content is already in place.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}
