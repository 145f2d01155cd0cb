#include "common/process_priority.h"

#include <string>

#include "platform/priority.h"

namespace common {

std::int32_t RequestedPriority = platform::kNormalPriorityClass;

namespace {

// The class's name, or nullptr for a value that is no priority class.
const char* ClassName(std::int32_t priority_class) {
  switch (priority_class) {
    case platform::kNormalPriorityClass:
      return "Normal";
    case platform::kIdlePriorityClass:
      return "Idle";
    case platform::kHighPriorityClass:
      return "High";
    case platform::kRealtimePriorityClass:
      return "RealTime";
    default:
      return nullptr;
  }
}

}  // namespace

bool SetProcessPriority(std::int32_t& requested) {
  std::string failure;
  if (const char* name = ClassName(requested)) {
    if (!platform::SetPriorityClassOfProcess(requested)) failure = name;
  } else {
    failure = "Unknown Priority requested: " + std::to_string(requested);
  }
  if (failure.empty()) return true;
  requested = platform::kNormalPriorityClass;
  platform::SetPriorityClassOfProcess(platform::kNormalPriorityClass);
  return false;
}

}  // namespace common
