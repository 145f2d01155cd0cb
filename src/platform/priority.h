// Process priority classes, by their Windows class values.
#pragma once
#include <cstdint>

namespace platform {

constexpr std::int32_t kNormalPriorityClass = 32;
constexpr std::int32_t kIdlePriorityClass = 64;
constexpr std::int32_t kHighPriorityClass = 128;
constexpr std::int32_t kRealtimePriorityClass = 256;

// Puts the current process into one of the four classes above. False when the
// class is unknown or the system refuses.
// POSIX: idle is the lowest priority of the ordinary scheduler (nice 19),
// which yields to other work but always gets some processor time; normal is
// nice 0, which an unprivileged process may not return to once it has gone
// lower (unless its nice limit allows); high is nice -10; real-time is the
// round-robin policy.
bool SetPriorityClassOfProcess(std::int32_t priority_class);

}  // namespace platform
