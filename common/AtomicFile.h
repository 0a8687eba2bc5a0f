// Rewriting a file so that readers and crashes only ever see the old or the
// new content, never a half-written file.
#ifndef COMMON_ATOMICFILE_H_
#define COMMON_ATOMICFILE_H_

#include <string>

// Writes `content` to a new file in the folder of `path`, gives it the mode
// and owner of the file it replaces (when there is one), flushes it to disk
// and renames it over `path`. A symbolic link at `path` is followed: its
// target is replaced and the link stays. On any failure the old file is left
// as it was, the temporary file is removed, and std::runtime_error is thrown
// with the path and the system's error text.
void replaceFileAtomically(const std::string& path, const std::string& content);

// Removes the temporary file of every replacement still being written, for
// the server's stop; those replacements then fail and their files stay old.
void removeUnfinishedFiles();

#endif  // COMMON_ATOMICFILE_H_
