// Process priority classes, by their Windows class values.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

constexpr std::int32_t kNormalPriorityClass = 32;
constexpr std::int32_t kIdlePriorityClass = 64;
constexpr std::int32_t kHighPriorityClass = 128;
constexpr std::int32_t kRealtimePriorityClass = 256;

// Puts the current process into one of the four classes above.
// Linux: idle is SCHED_IDLE, normal SCHED_OTHER at nice 0, high nice -10,
// real-time SCHED_RR. False when the class is unknown or the system refuses.
bool SetPriorityClassOfProcess(std::int32_t priority_class);

// Runs `work` so that priority changes made inside it leave the caller as it
// was. Linux keeps priorities per thread, and an unprivileged thread cannot
// leave the idle policy again, so the work gets a thread of its own and the
// caller (which writes the response) keeps the normal priority. Windows
// classes are per process: the work runs in place.
void RunWithOwnPriority(const std::function<void()>& work);

// Runs `step` at the priority the process started with: from inside
// RunWithOwnPriority on Linux, on the caller's thread while the work waits.
// For steps that hold a lock other processes wait for: a holder at idle
// priority could wait for the processor as long as the machine is busy.
void RunAtStartingPriority(const std::function<void()>& step);

}  // namespace platform
