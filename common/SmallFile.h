// Reading a small file whole, such as the API token or a TLS certificate and
// key: a regular file of bounded size, named by its role in every error.
#ifndef COMMON_SMALLFILE_H_
#define COMMON_SMALLFILE_H_

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace small_file {

// A file's content and its status (mode, owner, identity) as fstat saw it on
// the descriptor the content was read from.
struct Contents {
  std::string text;
  struct stat status;
};

// Reads the whole file at `path`, following a symbolic link (the file is only
// read). Throws std::runtime_error "<role> <path>: <cause>" ("Token file
// /etc/pavora/api.token: No such file or directory") when it cannot be
// opened or read, is no regular file ("not a regular file"), or holds more
// than `maxBytes` ("longer than 4096 bytes").
Contents read(const std::string& path, size_t maxBytes, const std::string& role);

}  // namespace small_file

#endif  // COMMON_SMALLFILE_H_
