#include "common/process_priority.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace common
