// The system calls of the POSIX file service and its folder cache (and the
// listener's taking of connections), one wrapper each, and nothing else in
// those files calls the system directly.
// Each wrapper first asks the fault seam (fault_injection.h) whether this
// call is to fail; in the program's build that question costs nothing.
// They answer as the calls they wrap do: -1 (or nullptr) and errno. An
// opened descriptor is close-on-exec.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

#include "platform/fault_injection.h"

namespace platform::sys {

using faults::Inject;
using faults::Op;

// kCreate with O_CREAT, kOpen without.
inline int Open(const char* path, int flags, mode_t mode = 0) {
  if (Inject((flags & O_CREAT) != 0 ? Op::kCreate : Op::kOpen)) return -1;
  return open(path, flags | O_CLOEXEC, mode);
}
inline int Close(int fd) {
  if (Inject(Op::kClose)) {
    close(fd);  // the descriptor is gone either way, as after a real failure
    return -1;
  }
  return close(fd);
}
inline ssize_t Read(int fd, void* buffer, std::size_t size) {
  return Inject(Op::kRead) ? -1 : read(fd, buffer, size);
}
inline ssize_t Pread(int fd, void* buffer, std::size_t size, off_t at) {
  return Inject(Op::kRead) ? -1 : pread(fd, buffer, size, at);
}
inline ssize_t Write(int fd, const void* data, std::size_t size) {
  return Inject(Op::kWrite) ? -1 : write(fd, data, size);
}
inline ssize_t Pwrite(int fd, const void* data, std::size_t size, off_t at) {
  return Inject(Op::kWrite) ? -1 : pwrite(fd, data, size, at);
}
inline off_t Seek(int fd, off_t offset, int whence) {
  return Inject(Op::kSeek) ? -1 : lseek(fd, offset, whence);
}
inline int Accept4(int fd, int flags) {
  return Inject(Op::kAccept) ? -1 : accept4(fd, nullptr, nullptr, flags);
}
inline int Fstatfs(int fd, struct statfs* st) { return Inject(Op::kStat) ? -1 : fstatfs(fd, st); }
inline int Fsync(int fd) { return Inject(Op::kSync) ? -1 : fsync(fd); }
#if defined(__linux__)
inline int Fallocate(int fd, int mode, off_t at, off_t length) {
  return Inject(Op::kWrite) ? -1 : fallocate(fd, mode, at, length);
}
// The file's attributes asked of the file system itself, past any kept:
// statx with AT_STATX_FORCE_SYNC.
inline int RefreshAttributes(int fd) {
  struct statx st {};
  return Inject(Op::kStat) ? -1
                           : statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_SIZE, &st);
}
#endif
// posix_fadvise over the whole file; it answers with the error number itself.
inline int Fadvise(int fd, int advice) {
  return Inject(Op::kRead) ? EIO : posix_fadvise(fd, 0, 0, advice);
}
inline int Ftruncate(int fd, off_t size) {
  return Inject(Op::kTruncate) ? -1 : ftruncate(fd, size);
}
inline int Stat(const char* path, struct stat* st) {
  return Inject(Op::kStat) ? -1 : stat(path, st);
}
inline int Lstat(const char* path, struct stat* st) {
  return Inject(Op::kStat) ? -1 : lstat(path, st);
}
inline int Fstat(int fd, struct stat* st) { return Inject(Op::kStat) ? -1 : fstat(fd, st); }
inline int Fstatat(int dir_fd, const char* name, struct stat* st) {
  return Inject(Op::kStat) ? -1 : fstatat(dir_fd, name, st, 0);
}
inline int Rename(const char* from, const char* to) {
  return Inject(Op::kRename) ? -1 : rename(from, to);
}
inline int Link(const char* from, const char* to) {
  return Inject(Op::kLink) ? -1 : link(from, to);
}
inline int Unlink(const char* path) { return Inject(Op::kRemove) ? -1 : unlink(path); }
inline int Mkdir(const char* path) { return Inject(Op::kMakeFolder) ? -1 : mkdir(path, 0777); }
inline int Chmod(const char* path, mode_t mode) {
  return Inject(Op::kSetAttributes) ? -1 : chmod(path, mode);
}
inline int SetTimes(const char* path, const timespec times[2]) {
  return Inject(Op::kSetAttributes) ? -1 : utimensat(AT_FDCWD, path, times, 0);
}
// flock, not waiting.
inline int LockExclusiveNow(int fd) {
  return Inject(Op::kLock) ? -1 : flock(fd, LOCK_EX | LOCK_NB);
}
inline int Unlock(int fd) { return flock(fd, LOCK_UN); }
inline DIR* OpenDir(const char* path) { return Inject(Op::kList) ? nullptr : opendir(path); }
// The next entry; nullptr at the end (errno unchanged) or on an error (errno set).
inline dirent* ReadDir(DIR* dir) {
  if (Inject(Op::kList)) return nullptr;
  return readdir(dir);
}
inline int CloseDir(DIR* dir) {
  if (Inject(Op::kClose)) {
    closedir(dir);
    return -1;
  }
  return closedir(dir);
}

}  // namespace platform::sys
