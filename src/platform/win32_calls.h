// The system calls of the Windows file service, one wrapper each, and
// nothing else in files_win32.cc calls the system directly. Each wrapper
// first asks the fault seam (fault_injection.h) whether this call is to
// fail; in the program's build that question costs nothing. They answer as
// the calls they wrap do, the error in GetLastError().
#pragma once
#include <windows.h>

namespace platform::win32 {

// kOpen for OPEN_EXISTING, kCreate for every disposition that may create.
HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL Close(HANDLE h);
BOOL Read(HANDLE h, void* buffer, DWORD size, DWORD* got);
BOOL Write(HANDLE h, const void* data, DWORD size, DWORD* written);
BOOL Flush(HANDLE h);
BOOL SeekToStart(HANDLE h);
BOOL Truncate(HANDLE h);
BOOL Lock(HANDLE h, DWORD flags);  // the whole file
BOOL Unlock(HANDLE h);
DWORD Attributes(const char* path);
BOOL AttributeData(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data);
BOOL SetAttributes(const char* path, DWORD attributes);
BOOL SetModifiedTime(HANDLE h, const FILETIME* modified);
BOOL MakeFolder(const char* path);
BOOL Move(const char* from, const char* to, DWORD flags);
BOOL Remove(const char* path);
BOOL Copy(const char* from, const char* to);  // replaces `to`
HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data);
BOOL FindNext(HANDLE h, WIN32_FIND_DATAA* data);  // FALSE and ERROR_NO_MORE_FILES at the end
BOOL FindEnd(HANDLE h);

}  // namespace platform::win32
