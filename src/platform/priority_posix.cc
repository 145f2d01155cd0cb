#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "platform/priority.h"

namespace platform {
namespace {

bool SetPolicy(int policy, int priority) {
  sched_param param{};
  param.sched_priority = priority;
  return sched_setscheduler(0, policy, &param) == 0;
}

bool SetNice(int nice) { return setpriority(PRIO_PROCESS, 0, nice) == 0; }

}  // namespace

bool SetPriorityClassOfProcess(std::int32_t priority_class) {
  switch (priority_class) {
    case kNormalPriorityClass:
      return SetPolicy(SCHED_OTHER, 0) && SetNice(0);
    case kIdlePriorityClass:
      return SetPolicy(SCHED_IDLE, 0);
    case kHighPriorityClass:
      return SetPolicy(SCHED_OTHER, 0) && SetNice(-10);
    case kRealtimePriorityClass:
      return SetPolicy(SCHED_RR, sched_get_priority_min(SCHED_RR));
    default:
      return false;
  }
}

void RunWithOwnPriority(const std::function<void()>& work) {
  // With the right to raise its priority again (root, or a nice limit that
  // allows nice 0) the work can stay on this thread.
  rlimit nice{};
  bool can_return = geteuid() == 0 || (getrlimit(RLIMIT_NICE, &nice) == 0 && nice.rlim_cur >= 20);
  if (can_return) {
    work();
    return;
  }
  std::thread worker(work);
  worker.join();
}

}  // namespace platform
