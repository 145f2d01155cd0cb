#include <time.h>

#include "platform/clock.h"

namespace platform {

LocalTime LocalNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts{};
  localtime_r(&ts.tv_sec, &parts);
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

void SleepMicroseconds(int us) {
  timespec ts{us / 1000000, static_cast<long>(us % 1000000) * 1000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void SleepMilliseconds(int ms) {
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace platform
