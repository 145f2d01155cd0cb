// A seam for tests: in a build with ENPANEL_FAULT_INJECTION defined (the unit
// tests' build), every system call of the file service and its folder cache
// can be made to fail, the nth call from now or every call of one kind, with
// a chosen error code, so that tests reach the error paths of whatever uses
// the file service. The calls go through one wrapper each (posix_calls.h,
// win32_calls.h), and each wrapper asks Inject() first. In every other build
// Inject() is a constant false and costs nothing.
#pragma once

namespace platform::faults {

// The kinds of system call the file service makes.
enum class Op {
  kOpen,    // opening an existing file or folder
  kCreate,  // opening that may create
  kRead,    // reading a file
  kWrite,   // writing a file
  kSync,    // flushing a file or folder to disk
  kTruncate,
  kRename,
  kLink,  // a second name for a file
  kCopy,  // a whole file copied by the system (Windows)
  kRemove,
  kMakeFolder,
  kList,           // opening or reading a folder's entries
  kStat,           // looking a name or an open file up
  kSeek,           // moving in an open file
  kSetAttributes,  // rights, attributes or times of a file
  kLock,           // taking or giving up a lock
  kClose,          // closing a file or a folder's listing
  kAccept,         // taking a connection from the web server
  kCount
};

// Error codes in the system's own numbering, for tests that run on both.
extern const int kIoError;       // EIO, ERROR_GEN_FAILURE
extern const int kNoSpace;       // ENOSPC, ERROR_DISK_FULL
extern const int kAccessDenied;  // EACCES, ERROR_ACCESS_DENIED
extern const int kNotPermitted;  // EPERM, ERROR_ACCESS_DENIED

#ifdef ENPANEL_FAULT_INJECTION
// Counts the call and tells whether it is to fail now; when it is, the
// system's error number (errno, and the thread's last error on Windows) is
// set to the chosen code.
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
