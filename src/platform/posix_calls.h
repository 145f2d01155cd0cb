// The system calls of the POSIX file service and its folder cache, one
// wrapper each, and nothing else in those files calls the system directly.
// Each wrapper first asks the fault seam (fault_injection.h) whether this
// call is to fail; in the program's build that question costs nothing.
// They answer as the calls they wrap do: -1 (or nullptr) and errno. An
// opened descriptor is close-on-exec.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace platform::sys {

int Open(const char* path, int flags, mode_t mode = 0);  // kCreate with O_CREAT, else kOpen
int Close(int fd);
ssize_t Read(int fd, void* buffer, std::size_t size);
ssize_t Pread(int fd, void* buffer, std::size_t size, off_t at);
ssize_t Write(int fd, const void* data, std::size_t size);
ssize_t Pwrite(int fd, const void* data, std::size_t size, off_t at);
off_t Seek(int fd, off_t offset, int whence);
int Fsync(int fd);
int Ftruncate(int fd, off_t size);
int Stat(const char* path, struct stat* st);
int Lstat(const char* path, struct stat* st);
int Fstat(int fd, struct stat* st);
int Fstatat(int dir_fd, const char* name, struct stat* st);
int Rename(const char* from, const char* to);
int Link(const char* from, const char* to);
int Unlink(const char* path);
int Mkdir(const char* path);
int Chmod(const char* path, mode_t mode);
int SetTimes(const char* path, const timespec times[2]);
int LockExclusiveNow(int fd);  // flock, not waiting
DIR* OpenDir(const char* path);
// The next entry; nullptr at the end (errno unchanged) or on an error (errno set).
dirent* ReadDir(DIR* dir);
int CloseDir(DIR* dir);

}  // namespace platform::sys
