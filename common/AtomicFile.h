// Rewriting a file so that readers and crashes only ever see the old or the
// new content, never a half-written file.
#ifndef COMMON_ATOMICFILE_H_
#define COMMON_ATOMICFILE_H_

#include <cstddef>
#include <functional>
#include <string>

// Writes `content` to a new file in the folder of `path`, gives it the mode
// and owner of the file it replaces (when there is one), flushes it to disk
// and renames it over `path`. A symbolic link at `path` is never followed:
// SymbolicLinkError (common/NoFollow.h) is thrown and nothing is written; the
// rename replaces whatever is at `path` itself, never a link's target. On any
// failure the old file is left as it was, the temporary file is removed, and
// std::runtime_error is thrown with the path and the system's error text.
void replaceFileAtomically(const std::string& path, const std::string& content);

// Takes one piece of the new content: written to the temporary file at once.
using ChunkSink = std::function<void(const char* data, size_t size)>;
// Produces the new content piece by piece into the sink it is given; may
// throw to abandon the replacement.
using ContentWriter = std::function<void(const ChunkSink& sink)>;

// The same for content too large to hold in memory: `write` hands it over
// piece by piece. Whatever `write` throws is rethrown after the temporary
// file is removed, the old file left as it was.
void replaceFileAtomically(const std::string& path, const ContentWriter& write);

// Removes the temporary file of every replacement still being written, for
// the server's stop; those replacements then fail and their files stay old.
void removeUnfinishedFiles();

// Removes what replacements of `path` that never finished (the process was
// killed) left in its folder: files named as this writer names its
// temporary files for `path`, and nothing else. Returns how many it removed.
// Never throws.
size_t removeLeftoverFiles(const std::string& path);

#endif  // COMMON_ATOMICFILE_H_
