// A failure met at visit after visit: told once, then at most once a minute
// with its count, once when it ends, and the rest as the process ends.
#include "server/repeated_fault.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/messages.h"

namespace server {
namespace {

using std::chrono::seconds;

TEST(RepeatedFault, ToldOnceAMinuteWithItsCountAndOnceWhenItEnds) {
  std::vector<std::string> told;
  platform::SetOperatorMessageSink([&](const std::string& m) { told.push_back(m); });
  RepeatedFault fault("not counted");
  const RepeatedFault::Clock::time_point start{};
  auto again = [] { return std::string("Visits counted again in C"); };
  fault.Passed(again);  // nothing was on
  for (int visit = 0; visit < 1000; ++visit) {
    fault.Hit("Visit not counted in C: E" + std::to_string(visit), start + visit * seconds(1) / 10);
  }
  // 0 s, then 60 s (visit 600); 60 s more have not passed.
  fault.Hit("Visit not counted in C: late", start + seconds(119));
  fault.Passed(again);
  fault.Passed(again);                                             // told once
  fault.Hit("Visit not counted in C: new", start + seconds(122));  // a new start: told at once
  fault.Hit("Visit not counted in C: last", start + seconds(123));
  fault.TellUntold();
  fault.TellUntold();
  platform::SetOperatorMessageSink(nullptr);
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Visit not counted in C: E0",
                      "Visit not counted in C: E600 (600 visits hit since the last line)",
                      "Visits counted again in C (not counted since the last line: 400 visits)",
                      "Visit not counted in C: new",
                      "Visit not counted in C: last (1 visit hit since the last line, as the "
                      "process ends)",
                  }));
}

}  // namespace
}  // namespace server
