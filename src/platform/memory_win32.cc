#include "platform/memory.h"

namespace platform {

void TuneAllocator() {}

}  // namespace platform
