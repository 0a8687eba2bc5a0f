// Reading a small file whole through one descriptor.
#include "common/SmallFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace small_file {

namespace {

// An open file descriptor, closed when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

Contents read(const std::string& path, size_t maxBytes, const std::string& role) {
  const auto error = [&](const std::string& cause) {
    return std::runtime_error(role + " " + path + ": " + cause);
  };
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) throw error(std::strerror(errno));
  Contents contents{};
  if (::fstat(file.fd, &contents.status) != 0) throw error(std::strerror(errno));
  if (!S_ISREG(contents.status.st_mode)) throw error("not a regular file");
  // One byte more than allowed tells a file that is too long.
  std::string& text = contents.text;
  text.assign(maxBytes + 1, '\0');
  size_t length = 0;
  while (length < text.size()) {
    const ssize_t got = ::read(file.fd, text.data() + length, text.size() - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw error(std::strerror(errno));
    if (got == 0) break;
    length += static_cast<size_t>(got);
  }
  if (length > maxBytes) throw error("longer than " + std::to_string(maxBytes) + " bytes");
  text.resize(length);
  return contents;
}

}  // namespace small_file
