#include "common/process_priority.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "platform/priority.h"
#include "support/test_site.h"

namespace common {
namespace {

TEST(ProcessPriority, FallsBackToNormal) {
  std::int32_t requested = 0;
  EXPECT_FALSE(SetProcessPriority(requested));
  EXPECT_EQ(requested, 32);
  requested = 12345;
  EXPECT_FALSE(SetProcessPriority(requested));
  EXPECT_EQ(requested, 32);
  requested = 32;
  EXPECT_TRUE(SetProcessPriority(requested));
  EXPECT_EQ(requested, 32);
  requested = 64;
  bool idle = SetProcessPriority(requested);
  EXPECT_EQ(requested, idle ? 64 : 32);
  requested = 32;
  SetProcessPriority(requested);
  EXPECT_EQ(requested, 32);
}

#ifndef _WIN32
// As an ordinary account (the test drops root for it), the handler's two
// calls: the idle class is granted; the way back to normal is refused by the
// system (unless the nice limit allows it), so the fallback leaves 32.
TEST(ProcessPriority, AnOrdinaryAccountGoesIdleAndFallsBack) {
  EXPECT_EQ(testkit::InChildAsNobody([] {
              std::int32_t requested = platform::kIdlePriorityClass;
              if (!SetProcessPriority(requested) || requested != 64) return 1;
              if (getpriority(PRIO_PROCESS, 0) != 19) return 2;
              rlimit limit{};
              getrlimit(RLIMIT_NICE, &limit);
              requested = platform::kNormalPriorityClass;
              bool back = SetProcessPriority(requested);
              return back == (limit.rlim_cur >= 20) && requested == 32 ? 0 : 3;
            }),
            0);
}
#endif

}  // namespace
}  // namespace common
