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

// What the process's own steps last made of its priority: the class it is
// in, and a return to normal that was refused from there. A process on the
// ordinary scheduler that went below nice 0 may not come back without the
// right to (its nice limit is fixed when it starts), so asking again could
// change nothing. A persistent process steps down and back at every
// request; only the first steps reach the system.
std::int32_t g_in = -1;  // not known yet
bool g_normal_refused = false;

bool Step(std::int32_t priority_class) {
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

}  // namespace

bool SetPriorityClassOfProcess(std::int32_t priority_class) {
  if (priority_class == g_in) return true;
  if (priority_class == kNormalPriorityClass && g_normal_refused) return false;
  if (Step(priority_class)) {
    g_in = priority_class;
    g_normal_refused = false;
    return true;
  }
  // From the ordinary scheduler a refused return to normal changed nothing;
  // any other refused step may have changed the policy alone, and where the
  // process stands is asked anew next time.
  if (priority_class == kNormalPriorityClass &&
      (g_in == kIdlePriorityClass || g_in == kHighPriorityClass)) {
    g_normal_refused = true;
  } else {
    g_in = -1;
  }
  return false;
}

}  // namespace platform
