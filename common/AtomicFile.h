// Replacing a file as a whole: readers (Suricata, other requests) see either
// the old content or the new one, never a half-written file.
#ifndef COMMON_ATOMICFILE_H_
#define COMMON_ATOMICFILE_H_

#include <string>

// Writes `content` to a temporary file in the folder of `path`, gives it the
// mode and owner of the file it replaces (0644 and the process's owner when
// there is none yet), flushes it to disk and renames it over `path`. A
// symbolic link at `path` is followed: the file it names is replaced.
// Throws std::runtime_error naming `path` and the system's error text when any
// step fails; the old file is then left as it was and no temporary file stays.
void replaceFileAtomically(const std::string& path, const std::string& content);

#endif  // COMMON_ATOMICFILE_H_
