// Clean-up at start of what replacements of the configured files left behind
// when an earlier run was killed in the middle of one.
#ifndef SERVER_LEFTOVERS_H_
#define SERVER_LEFTOVERS_H_

#include <cstddef>

namespace leftovers {

// Removes the temporary files of this server's atomic replacements
// (common/AtomicFile.h names them) next to every configured file it writes,
// the feed file included, and logs how many it removed. Other files stay.
// Nothing is removed when the configuration cannot be read; keys that are
// missing are skipped. Returns the count; never throws.
size_t removeAtStart();

}  // namespace leftovers

#endif  // SERVER_LEFTOVERS_H_
