// How the process's allocator keeps memory between requests.
#ifndef SERVER_ALLOCATOR_H_
#define SERVER_ALLOCATOR_H_

namespace allocator {

// Replies of a few hundred kilobytes are built and freed many times a
// second. With the allocator's own thresholds each such buffer is mapped and
// unmapped, or the heap top is handed back and faulted in again, at every
// request, which costs more than the reply's own work. From here on buffers
// below 8 MiB come from the heap, and a heap keeps up to 16 MiB free at its
// top. Called once at start, before any thread starts.
void keepReplyBuffers();

}  // namespace allocator

#endif  // SERVER_ALLOCATOR_H_
