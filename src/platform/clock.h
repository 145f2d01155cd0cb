// Local wall-clock time and short sleeps.
#pragma once

namespace platform {

struct LocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The current local time, to the millisecond.
LocalTime LocalNow();

void SleepMilliseconds(int ms);
void SleepMicroseconds(int us);

}  // namespace platform
