// Process priority control: the handler runs at the idle class and returns to
// the normal class, falling back to normal whenever a switch fails.
#pragma once
#include <cstdint>

namespace common {

// The wanted priority class (Windows class values: 32 normal, 64 idle,
// 128 high, 256 real-time); SetProcessPriority may overwrite it.
extern std::int32_t RequestedPriority;

// True when the requested class is now in force. Otherwise sets `requested`
// to 32, asks for the normal class and returns false. Never throws.
bool SetProcessPriority(std::int32_t& requested);

}  // namespace common
