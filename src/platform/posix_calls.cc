#include "platform/posix_calls.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fault_injection.h"

namespace platform::sys {

using faults::Inject;
using faults::Op;

int Open(const char* path, int flags, mode_t mode) {
  if (Inject((flags & O_CREAT) != 0 ? Op::kCreate : Op::kOpen)) return -1;
  return open(path, flags | O_CLOEXEC, mode);
}
int Close(int fd) {
  if (Inject(Op::kClose)) {
    close(fd);  // the descriptor is gone either way, as after a real failure
    return -1;
  }
  return close(fd);
}
ssize_t Read(int fd, void* buffer, std::size_t size) {
  return Inject(Op::kRead) ? -1 : read(fd, buffer, size);
}
ssize_t Pread(int fd, void* buffer, std::size_t size, off_t at) {
  return Inject(Op::kRead) ? -1 : pread(fd, buffer, size, at);
}
ssize_t Write(int fd, const void* data, std::size_t size) {
  return Inject(Op::kWrite) ? -1 : write(fd, data, size);
}
ssize_t Pwrite(int fd, const void* data, std::size_t size, off_t at) {
  return Inject(Op::kWrite) ? -1 : pwrite(fd, data, size, at);
}
off_t Seek(int fd, off_t offset, int whence) {
  return Inject(Op::kSeek) ? -1 : lseek(fd, offset, whence);
}
int Fsync(int fd) { return Inject(Op::kSync) ? -1 : fsync(fd); }
int Ftruncate(int fd, off_t size) { return Inject(Op::kTruncate) ? -1 : ftruncate(fd, size); }
int Stat(const char* path, struct stat* st) { return Inject(Op::kStat) ? -1 : stat(path, st); }
int Lstat(const char* path, struct stat* st) { return Inject(Op::kStat) ? -1 : lstat(path, st); }
int Fstat(int fd, struct stat* st) { return Inject(Op::kStat) ? -1 : fstat(fd, st); }
int Fstatat(int dir_fd, const char* name, struct stat* st) {
  return Inject(Op::kStat) ? -1 : fstatat(dir_fd, name, st, 0);
}
int Rename(const char* from, const char* to) { return Inject(Op::kRename) ? -1 : rename(from, to); }
int Link(const char* from, const char* to) { return Inject(Op::kLink) ? -1 : link(from, to); }
int Unlink(const char* path) { return Inject(Op::kRemove) ? -1 : unlink(path); }
int Mkdir(const char* path) { return Inject(Op::kMakeFolder) ? -1 : mkdir(path, 0777); }
int Chmod(const char* path, mode_t mode) {
  return Inject(Op::kSetAttributes) ? -1 : chmod(path, mode);
}
int SetTimes(const char* path, const timespec times[2]) {
  return Inject(Op::kSetAttributes) ? -1 : utimensat(AT_FDCWD, path, times, 0);
}
int LockExclusiveNow(int fd) { return Inject(Op::kLock) ? -1 : flock(fd, LOCK_EX | LOCK_NB); }
DIR* OpenDir(const char* path) { return Inject(Op::kList) ? nullptr : opendir(path); }
dirent* ReadDir(DIR* dir) {
  if (Inject(Op::kList)) return nullptr;
  return readdir(dir);
}
int CloseDir(DIR* dir) {
  if (Inject(Op::kClose)) {
    closedir(dir);
    return -1;
  }
  return closedir(dir);
}

}  // namespace platform::sys
