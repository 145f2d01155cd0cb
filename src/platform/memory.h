// The memory allocator's settings for a short-lived process.
#pragma once

namespace platform {

// A request lives a few milliseconds and the next one needs as much again:
// memory freed is kept for reuse rather than handed back and mapped again
// (fewer page faults), whether the process ends after the request or goes on.
void TuneAllocator();

}  // namespace platform
