#include <malloc.h>

#include "platform/memory.h"

namespace platform {

void TuneAllocator() {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
  mallopt(M_TOP_PAD, 1024 * 1024);
#endif
}

}  // namespace platform
