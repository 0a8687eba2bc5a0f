// The allocator's thresholds for a server of many mid-sized replies.
#include "server/Allocator.h"

#include <malloc.h>

namespace allocator {

void keepReplyBuffers() {
  constexpr int kMapAbove = 8 << 20;    // bytes: larger blocks are mapped on their own
  constexpr int kTrimAbove = 16 << 20;  // bytes: free heap top kept before it is returned
  mallopt(M_MMAP_THRESHOLD, kMapAbove);
  mallopt(M_TRIM_THRESHOLD, kTrimAbove);
}

}  // namespace allocator
