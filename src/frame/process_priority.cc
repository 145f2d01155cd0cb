#include "frame/process_priority.h"

#include <string>

#include "platform/priority.h"

namespace frame {

std::int32_t RequestedPriority = platform::kNormalPriorityClass;

bool SetProcessPriority(std::int32_t& requested) {
  std::string failure;
  switch (requested) {
    case platform::kNormalPriorityClass:
      if (!platform::SetPriorityClassOfProcess(requested)) failure = "Normal";
      break;
    case platform::kIdlePriorityClass:
      if (!platform::SetPriorityClassOfProcess(requested)) failure = "Idle";
      break;
    case platform::kHighPriorityClass:
      if (!platform::SetPriorityClassOfProcess(requested)) failure = "High";
      break;
    case platform::kRealtimePriorityClass:
      if (!platform::SetPriorityClassOfProcess(requested)) failure = "RealTime";
      break;
    default:
      failure = "Unknown Priority requested: " + std::to_string(requested);
      break;
  }
  if (failure.empty()) return true;
  requested = platform::kNormalPriorityClass;
  platform::SetPriorityClassOfProcess(platform::kNormalPriorityClass);
  return false;
}

}  // namespace frame
