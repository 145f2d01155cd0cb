#include "platform/priority.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

TEST(Priority, UnknownClassesAreRefused) {
  EXPECT_FALSE(SetPriorityClassOfProcess(0));
  EXPECT_FALSE(SetPriorityClassOfProcess(33));
}

#ifndef _WIN32
// As an ordinary account: the work may go idle for good, its caller stays
// normal.
TEST(Priority, WorkGoesIdleAndTheCallerStaysNormal) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    int inside = -1, step = -1;
    RunWithOwnPriority([&] {
      if (!SetPriorityClassOfProcess(kIdlePriorityClass)) return;
      inside = sched_getscheduler(0);
      SetPriorityClassOfProcess(kNormalPriorityClass);  // refused without privileges
      // A step that must not wait for the processor runs at normal priority.
      RunAtStartingPriority([&] { step = sched_getscheduler(0); });
    });
    bool caller_normal = sched_getscheduler(0) == SCHED_OTHER;
    _exit(inside == SCHED_IDLE && step == SCHED_OTHER && caller_normal ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif

}  // namespace
}  // namespace platform
