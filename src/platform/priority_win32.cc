#include <windows.h>

#include "platform/priority.h"

namespace platform {

bool SetPriorityClassOfProcess(std::int32_t priority_class) {
  switch (priority_class) {
    case kNormalPriorityClass:
    case kIdlePriorityClass:
    case kHighPriorityClass:
    case kRealtimePriorityClass:
      return SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(priority_class)) != 0;
    default:
      return false;
  }
}

}  // namespace platform
