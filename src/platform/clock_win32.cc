#include <windows.h>

#include "platform/clock.h"

namespace platform {

LocalTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

void SleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

void SleepMicroseconds(int us) { Sleep(static_cast<DWORD>((us + 999) / 1000)); }

}  // namespace platform
