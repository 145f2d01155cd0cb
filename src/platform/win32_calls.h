// The system calls of the Windows file service, one wrapper each, and
// nothing else in files_win32.cc calls the system directly. Each wrapper
// first asks the fault seam (fault_injection.h) whether this call is to
// fail; in the program's build that question costs nothing. They answer as
// the calls they wrap do, the error in GetLastError().
#pragma once
#include <windows.h>

#include "platform/fault_injection.h"

namespace platform::win32 {

using faults::Inject;
using faults::Op;

// kOpen for OPEN_EXISTING, kCreate for every disposition that may create.

inline HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (Inject(disposition == OPEN_EXISTING ? Op::kOpen : Op::kCreate)) return INVALID_HANDLE_VALUE;
  return ::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}
inline BOOL Close(HANDLE h) {
  if (Inject(Op::kClose)) {
    ::CloseHandle(h);  // the handle is gone either way, as after a real failure
    return FALSE;
  }
  return ::CloseHandle(h);
}
inline BOOL Read(HANDLE h, void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  return Inject(Op::kRead) ? FALSE : ::ReadFile(h, buffer, size, got, nullptr);
}
inline BOOL Write(HANDLE h, const void* data, DWORD size, DWORD* written) {
  *written = 0;
  return Inject(Op::kWrite) ? FALSE : ::WriteFile(h, data, size, written, nullptr);
}
inline BOOL Flush(HANDLE h) { return Inject(Op::kSync) ? FALSE : ::FlushFileBuffers(h); }
inline BOOL SeekToStart(HANDLE h) {
  if (Inject(Op::kSeek)) return FALSE;
  return ::SetFilePointer(h, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}
inline BOOL Truncate(HANDLE h) { return Inject(Op::kTruncate) ? FALSE : ::SetEndOfFile(h); }
// The whole file.
inline BOOL Lock(HANDLE h, DWORD flags) {
  if (Inject(Op::kLock)) return FALSE;
  OVERLAPPED ov{};
  return ::LockFileEx(h, flags, 0, MAXDWORD, MAXDWORD, &ov);
}
inline BOOL Unlock(HANDLE h) {
  if (Inject(Op::kLock)) return FALSE;
  OVERLAPPED ov{};
  return ::UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &ov);
}
inline DWORD Attributes(const char* path) {
  return Inject(Op::kStat) ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path);
}
inline BOOL AttributeData(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return Inject(Op::kStat) ? FALSE : ::GetFileAttributesExA(path, GetFileExInfoStandard, data);
}
inline BOOL HandleInformation(HANDLE h, BY_HANDLE_FILE_INFORMATION* data) {
  return Inject(Op::kStat) ? FALSE : ::GetFileInformationByHandle(h, data);
}
inline BOOL SetAttributes(const char* path, DWORD attributes) {
  return Inject(Op::kSetAttributes) ? FALSE : ::SetFileAttributesA(path, attributes);
}
inline BOOL SetModifiedTime(HANDLE h, const FILETIME* modified) {
  return Inject(Op::kSetAttributes) ? FALSE : ::SetFileTime(h, nullptr, nullptr, modified);
}
inline BOOL MakeFolder(const char* path) {
  return Inject(Op::kMakeFolder) ? FALSE : ::CreateDirectoryA(path, nullptr);
}
inline BOOL Move(const char* from, const char* to, DWORD flags) {
  return Inject(Op::kRename) ? FALSE : ::MoveFileExA(from, to, flags);
}
inline BOOL Remove(const char* path) { return Inject(Op::kRemove) ? FALSE : ::DeleteFileA(path); }
// Replaces `to`.
inline BOOL Copy(const char* from, const char* to) {
  return Inject(Op::kCopy) ? FALSE : ::CopyFileA(from, to, FALSE);
}
inline HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) {
  return Inject(Op::kList) ? INVALID_HANDLE_VALUE : ::FindFirstFileA(pattern, data);
}
// FALSE and ERROR_NO_MORE_FILES at the end.
inline BOOL FindNext(HANDLE h, WIN32_FIND_DATAA* data) {
  return Inject(Op::kList) ? FALSE : ::FindNextFileA(h, data);
}
inline BOOL FindEnd(HANDLE h) {
  if (Inject(Op::kClose)) {
    ::FindClose(h);
    return FALSE;
  }
  return ::FindClose(h);
}

}  // namespace platform::win32
