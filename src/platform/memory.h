// The memory allocator's settings for a short-lived process.
#pragma once

namespace platform {

// A request lives a few milliseconds: memory freed is kept for reuse rather
// than handed back and mapped again (fewer page faults).
void TuneAllocatorForShortRun();

}  // namespace platform
