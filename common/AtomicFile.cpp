// Atomic replacement of a file through a temporary file and rename.
#include "common/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

#include "common/NoFollow.h"

namespace {

// Temporary files being written now, for the server's stop.
std::mutex g_unfinishedMutex;
std::set<std::string> g_unfinished;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

// The folder of `path` with its trailing slash ("./" for a bare name), and
// the prefix of its temporary files' names: a short prefix of the file's
// name keeps the temporary name within the file system's limit even for the
// longest file names. mkstemp appends six characters of [A-Za-z0-9].
struct TempNames {
  std::string folder;
  std::string prefix;
};
constexpr size_t kTempSuffixLength = 6;

TempNames tempNamesOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return {folder, "." + base.substr(0, 64) + "."};
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
  replaceFileAtomically(
      path, [&content](const ChunkSink& sink) { sink(content.data(), content.size()); });
}

void replaceFileAtomically(const std::string& path, const ContentWriter& write) {
  const std::string& target = path;
  const TempNames names = tempNamesOf(target);
  TempFile temp(names.folder + names.prefix + std::string(kTempSuffixLength, 'X'));
  if (!temp.created()) fail("Cannot create a temporary file for", target, errno);

  struct stat old {};
  if (lstat(target.c_str(), &old) == 0) {
    if (S_ISLNK(old.st_mode)) throw SymbolicLinkError(target);
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

  write([&](const char* data, size_t left) {
    while (left > 0) {
      const ssize_t written = ::write(temp.fd(), data, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        fail("Cannot write", target, errno);
      }
      // A write that takes nothing and reports no error would repeat forever.
      if (written == 0) fail("Cannot write", target, ENOSPC);
      data += written;
      left -= static_cast<size_t>(written);
    }
  });
  if (fsync(temp.fd()) != 0) fail("Cannot flush", target, errno);
  if (!temp.closeFile()) fail("Cannot close", target, errno);
  if (!temp.renameTo(target)) fail("Cannot replace", target, errno);

  // Make the rename itself durable; the new content is in place either way.
  const int dir = open(names.folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

size_t removeLeftoverFiles(const std::string& path) {
  const TempNames names = tempNamesOf(path);
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(names.folder.c_str()), &closedir);
  if (!dir) return 0;
  size_t removed = 0;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.size() != names.prefix.size() + kTempSuffixLength ||
        name.compare(0, names.prefix.size(), names.prefix) != 0) {
      continue;
    }
    const bool suffixFits =
        std::all_of(name.begin() + static_cast<long>(names.prefix.size()), name.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    struct stat info {};
    const std::string file = names.folder + name;
    if (!suffixFits || lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (unlink(file.c_str()) == 0) ++removed;
  }
  return removed;
}

void removeUnfinishedFiles() {
  const std::lock_guard<std::mutex> lock(g_unfinishedMutex);
  for (const std::string& name : g_unfinished) unlink(name.c_str());
  g_unfinished.clear();
}
