#include "platform/fault_injection.h"

#include <cerrno>
#ifdef _WIN32
#include <windows.h>
#endif

namespace platform::faults {

#ifdef _WIN32
const int kIoError = ERROR_GEN_FAILURE;
const int kNoSpace = ERROR_DISK_FULL;
const int kAccessDenied = ERROR_ACCESS_DENIED;
const int kNotPermitted = ERROR_ACCESS_DENIED;
#else
const int kIoError = EIO;
const int kNoSpace = ENOSPC;
const int kAccessDenied = EACCES;
const int kNotPermitted = EPERM;
#endif

}  // namespace platform::faults

#ifdef ENPANEL_FAULT_INJECTION
#include <atomic>

namespace platform::faults {
namespace {
// Counted from every thread that uses the file service; the settings below
// are made while no other thread runs.
std::atomic<long> g_calls{0};
long g_fail_at = 0;  // 0: none
int g_nth_error = 0;
int g_every_error[static_cast<int>(Op::kCount)] = {};
Op g_last_failed = Op::kCount;

bool Failing(Op op, int error) {
  g_last_failed = op;
  errno = error;
#ifdef _WIN32
  SetLastError(static_cast<DWORD>(error));
#endif
  return true;
}
}  // namespace

bool Inject(Op op) {
  long call = ++g_calls;
  if (g_every_error[static_cast<int>(op)] != 0)
    return Failing(op, g_every_error[static_cast<int>(op)]);
  if (g_fail_at != 0 && call == g_fail_at) return Failing(op, g_nth_error);
  return false;
}

void FailNth(long n, int error) {
  g_fail_at = g_calls + n;
  g_nth_error = error;
}

void FailEvery(Op op, int error) { g_every_error[static_cast<int>(op)] = error; }

void Reset() {
  g_calls = 0;
  g_fail_at = 0;
  for (int& e : g_every_error) e = 0;
  g_last_failed = Op::kCount;
}

long CallsSeen() { return g_calls.load(); }
Op LastFailed() { return g_last_failed; }

const char* OpName(Op op) {
  static const char* const kNames[] = {"open",        "create", "read",  "write", "sync",
                                       "truncate",    "rename", "link",  "copy",  "remove",
                                       "make folder", "list",   "stat",  "seek",  "set attributes",
                                       "lock",        "close",  "accept"};
  static_assert(sizeof kNames / sizeof kNames[0] == static_cast<int>(Op::kCount));
  int i = static_cast<int>(op);
  return i >= 0 && i < static_cast<int>(Op::kCount) ? kNames[i] : "none";
}

}  // namespace platform::faults
#endif
