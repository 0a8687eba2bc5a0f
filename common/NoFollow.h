// Files the server writes at configured paths are never written through a
// symbolic link: a link there could point the root-run server at any file.
#ifndef COMMON_NOFOLLOW_H_
#define COMMON_NOFOLLOW_H_

#include <stdexcept>
#include <string>

// A configured path that is a symbolic link; what() is
// "<path> is a symbolic link".
class SymbolicLinkError : public std::runtime_error {
 public:
  explicit SymbolicLinkError(const std::string& path);
};

// Throws SymbolicLinkError when the last component of `path` is a symbolic
// link (links in the folders above it are the administrator's layout).
// A path that does not exist, or cannot be inspected, passes.
void refuseSymbolicLink(const std::string& path);

// Throws `error` again when it is a SymbolicLinkError, for the catch clauses
// that turn other failures into a general text: the reply must name the link.
void rethrowIfSymbolicLink(const std::exception& error);

// Writes `content` as the whole of the scratch file `path`: removes the file
// there, then creates it afresh (O_EXCL, O_NOFOLLOW, mode 0600), so that
// neither a link nor a file planted there between the two steps is written.
// Throws SymbolicLinkError for a link at `path`, and std::runtime_error naming
// the file and the cause for any other failure.
void writeScratchFile(const std::string& path, const std::string& content);

#endif  // COMMON_NOFOLLOW_H_
