// Refusal of symbolic links at the paths the server writes, and scratch files.
#include "common/NoFollow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

SymbolicLinkError::SymbolicLinkError(const std::string& path)
    : std::runtime_error(path + " is a symbolic link") {}

void refuseSymbolicLink(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) throw SymbolicLinkError(path);
}

void rethrowIfSymbolicLink(const std::exception& error) {
  if (const auto* link = dynamic_cast<const SymbolicLinkError*>(&error)) throw *link;
}

void writeScratchFile(const std::string& path, const std::string& content) {
  refuseSymbolicLink(path);
  if (unlink(path.c_str()) != 0 && errno != ENOENT) fail("Cannot remove", path, errno);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == ELOOP) throw SymbolicLinkError(path);
    fail("Cannot create", path, errno);
  }
  const char* data = content.data();
  size_t left = content.size();
  int error = 0;
  while (left > 0 && error == 0) {
    const ssize_t written = write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? errno : ENOSPC;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) fail("Cannot write", path, error);
}
