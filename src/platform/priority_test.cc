#include "platform/priority.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/resource.h>
#endif

#include "support/test_site.h"

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
  EXPECT_EQ(testkit::InChildAsNobody([] {
              if (!SetPriorityClassOfProcess(kIdlePriorityClass)) return 1;
              if (sched_getscheduler(0) != SCHED_OTHER) return 2;
              if (getpriority(PRIO_PROCESS, 0) != 19) return 3;
              rlimit limit{};
              getrlimit(RLIMIT_NICE, &limit);
              bool may_return = limit.rlim_cur >= 20;  // the nice limit allows nice 0
              return SetPriorityClassOfProcess(kNormalPriorityClass) == may_return ? 0 : 4;
            }),
            0);
}
#endif

}  // namespace
}  // namespace platform
