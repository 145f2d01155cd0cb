#include <sched.h>
#include <sys/resource.h>

#include "platform/priority.h"

namespace platform {
namespace {

bool SetNice(int nice) { return setpriority(PRIO_PROCESS, 0, nice) == 0; }

bool SetOrdinaryPolicy() {
  sched_param param{};
  return sched_getscheduler(0) == SCHED_OTHER || sched_setscheduler(0, SCHED_OTHER, &param) == 0;
}

}  // namespace

bool SetPriorityClassOfProcess(std::int32_t priority_class) {
  switch (priority_class) {
    case kNormalPriorityClass:
      return SetOrdinaryPolicy() && SetNice(0);
    case kIdlePriorityClass:
      return SetOrdinaryPolicy() && SetNice(19);
    case kHighPriorityClass:
      return SetOrdinaryPolicy() && SetNice(-10);
    case kRealtimePriorityClass: {
      sched_param param{};
      param.sched_priority = sched_get_priority_min(SCHED_RR);
      return sched_setscheduler(0, SCHED_RR, &param) == 0;
    }
    default:
      return false;
  }
}

}  // namespace platform
