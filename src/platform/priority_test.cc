#include "platform/priority.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/resource.h>
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
// As an ordinary account (the test drops root for it): idle is nice 19 under
// the ordinary scheduler, never a policy that can starve; normal afterwards
// is refused unless the nice limit allows it.
TEST(Priority, IdleIsTheLowestOrdinaryPriority) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    if (!SetPriorityClassOfProcess(kIdlePriorityClass)) _exit(3);
    if (sched_getscheduler(0) != SCHED_OTHER) _exit(4);
    if (getpriority(PRIO_PROCESS, 0) != 19) _exit(5);
    rlimit limit{};
    getrlimit(RLIMIT_NICE, &limit);
    bool may_return = limit.rlim_cur >= 20;  // nice limit 20 - rlim: nice 0 allowed
    if (SetPriorityClassOfProcess(kNormalPriorityClass) != may_return) _exit(6);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace platform
