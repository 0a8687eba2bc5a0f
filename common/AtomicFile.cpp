// Atomic replacement of a file through a temporary file and rename.
#include "common/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

namespace {

// Temporary files being written now, for the server's stop.
std::mutex g_unfinishedMutex;
std::set<std::string> g_unfinished;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

// The file that a write to `path` must replace: the final target when `path`
// is a symbolic link (which may point at a file that does not exist yet).
std::string resolveTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(target.c_str(), link.data(), link.size());
    if (length < 0) fail("Cannot read link", target, errno);
    link.resize(static_cast<size_t>(length));
    if (link.front() != '/') {
      const size_t slash = target.rfind('/');
      if (slash != std::string::npos) link = target.substr(0, slash + 1) + link;
    }
    target = link;
  }
  fail("Cannot resolve", path, ELOOP);
}

// A temporary file next to the target: closed, and removed unless it was
// renamed into place, whatever way the rewrite ends.
class TempFile {
 public:
  explicit TempFile(std::string pattern) : name_(std::move(pattern)) {
    const std::lock_guard<std::mutex> lock(g_unfinishedMutex);
    fd_ = mkstemp(name_.data());
    if (created()) g_unfinished.insert(name_);
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!created()) return;
    const std::lock_guard<std::mutex> lock(g_unfinishedMutex);
    if (!renamed_) unlink(name_.c_str());
    g_unfinished.erase(name_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool created() const { return fd_ != kNeverOpened; }
  int fd() const { return fd_; }
  // Closes the descriptor; false with errno set when the close reports an error.
  bool closeFile() {
    const int fd = fd_;
    fd_ = kClosed;
    return close(fd) == 0;
  }
  // Renames the file over `target`; false with errno set on failure.
  bool renameTo(const std::string& target) {
    renamed_ = rename(name_.c_str(), target.c_str()) == 0;
    return renamed_;
  }

 private:
  static constexpr int kNeverOpened = -1;
  static constexpr int kClosed = -2;
  std::string name_;
  int fd_;
  bool renamed_ = false;
};

}  // namespace

void replaceFileAtomically(const std::string& path, const std::string& content) {
  const std::string target = resolveTarget(path);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  // A short prefix of the name keeps the temporary name within the file
  // system's limit even for the longest file names.
  std::string pattern = folder + (folder == "." ? "/." : ".") + base.substr(0, 64) + ".XXXXXX";
  TempFile temp(std::move(pattern));
  if (!temp.created()) fail("Cannot create a temporary file for", target, errno);

  struct stat old {};
  if (stat(target.c_str(), &old) == 0) {
    // Owner first: a change of owner may clear the set-id bits of the mode.
    if (fchown(temp.fd(), old.st_uid, old.st_gid) != 0) {
      fail("Cannot keep the owner of", target, errno);
    }
    if (fchmod(temp.fd(), old.st_mode & 07777) != 0) fail("Cannot keep the mode of", target, errno);
  } else if (errno == ENOENT) {
    // A new file gets the usual mode of configuration files rather than
    // mkstemp's 0600 (the process umask cannot be read without changing it).
    if (fchmod(temp.fd(), 0644) != 0) fail("Cannot set the mode of", target, errno);
  } else {
    fail("Cannot inspect", target, errno);
  }

  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t written = write(temp.fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write", target, errno);
    }
    // A write that takes nothing and reports no error would repeat forever.
    if (written == 0) fail("Cannot write", target, ENOSPC);
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (fsync(temp.fd()) != 0) fail("Cannot flush", target, errno);
  if (!temp.closeFile()) fail("Cannot close", target, errno);
  if (!temp.renameTo(target)) fail("Cannot replace", target, errno);

  // Make the rename itself durable; the new content is in place either way.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

void removeUnfinishedFiles() {
  const std::lock_guard<std::mutex> lock(g_unfinishedMutex);
  for (const std::string& name : g_unfinished) unlink(name.c_str());
  g_unfinished.clear();
}
