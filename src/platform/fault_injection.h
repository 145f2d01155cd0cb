// A seam for tests: in a build with ENPANEL_FAULT_INJECTION defined (the unit
// tests' build), the file service's system calls can be made to fail, the
// nth call from now or every call of one kind, with a chosen error code, so
// that tests reach the error paths of whatever uses the file service. In
// every other build Inject() is a constant false and costs nothing.
#pragma once

namespace platform::faults {

// The kinds of system call the file service makes.
enum class Op {
  kOpen,    // opening an existing file or folder
  kCreate,  // opening that may create
  kRead,
  kWrite,
  kSync,  // flushing a file or folder to disk
  kTruncate,
  kRename,
  kLink,
  kRemove,
  kMakeFolder,
  kList,  // reading a folder
  kStat,  // looking a name up
  kLock,
  kCount
};

#ifdef ENPANEL_FAULT_INJECTION
// Counts the call and tells whether it is to fail now; when it is, the
// system's error number is set to the chosen code.
bool Inject(Op op);

// Only the nth call from now (1 is the next one) fails, with `error`.
void FailNth(long n, int error);
// Every call of kind `op` fails with `error`, until Reset().
void FailEvery(Op op, int error);
// No call fails; the count starts again from 0.
void Reset();
// Calls counted since the last Reset().
long CallsSeen();
// The kind of the last call that was made to fail.
Op LastFailed();
const char* OpName(Op op);
#else
constexpr bool Inject(Op /*op*/) { return false; }
#endif

}  // namespace platform::faults
