// FolderTimes, InputFile and LockedFile of the POSIX file service
// (files_posix.cc lists its parts).
#include <algorithm>

#include "platform/files.h"
#include "platform/folder_cache.h"
#include "platform/posix_calls.h"
#include "platform/posix_names.h"

namespace platform {

using posix::Fail;
using posix::OnName;

FolderTimes::FolderTimes(const std::string& folder) : folder_(folder) {
  RecordFolderOf(JoinName(folder, "*"));  // the times of its files
  handle_ = OnName(folder, [](const char* p) { return sys::Open(p, O_RDONLY | O_DIRECTORY); });
}

FolderTimes::~FolderTimes() {
  if (handle_ >= 0) sys::Close(static_cast<int>(handle_));  // only read from
}

bool FolderTimes::Get(const std::string& name, FileTime& time) {
  RecordFile(JoinName(folder_, name));
  if (handle_ < 0) return GetModifiedTime(JoinName(folder_, name), time);
  struct stat st {};
  if (sys::Fstatat(static_cast<int>(handle_), name.c_str(), &st) != 0) return Fail();
  if (st.st_nlink > 1) RecordOtherNames(JoinName(folder_, name));
  time = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  RecordFile(path);
  // A folder opens too; reading it then fails (EISDIR).
  int fd = OnName(path, [](const char* p) { return sys::Open(p, O_RDONLY); });
  if (fd < 0) return Fail();
  handle_ = fd;
  // What is read while recording: whether the file has other names.
  struct stat st {};
  if (Recording() && sys::Fstat(fd, &st) == 0 && st.st_nlink > 1) RecordOtherNames(path);
  return true;
}

namespace {

// A link, or a file with more than one name.
bool LinkOrSecondName(const struct stat& st) {
  return S_ISLNK(st.st_mode) || (!S_ISDIR(st.st_mode) && st.st_nlink > 1);
}

}  // namespace

bool IsLinkOrSecondName(const std::string& path) {
  struct stat st {};
  return OnName(path, [&st](const char* p) { return sys::Lstat(p, &st); }) == 0 &&
         LinkOrSecondName(st);
}

bool InputFile::OpenOneName(const std::string& path) {
  Close();
  int fd = OnName(path, [](const char* p) { return sys::Open(p, O_RDONLY | O_NOFOLLOW); });
  if (fd < 0) {
    // O_NOFOLLOW's answer to a link at the name.
    if (errno != ELOOP) return Fail();
    SetLastErrorCode(kRefusedName);
    return false;
  }
  struct stat st {};
  if (sys::Fstat(fd, &st) != 0) {
    Fail();
    sys::Close(fd);  // only opened
    return false;
  }
  if (!S_ISREG(st.st_mode) || LinkOrSecondName(st)) {
    sys::Close(fd);  // only opened
    SetLastErrorCode(kRefusedName);
    return false;
  }
  handle_ = fd;
  return true;
}

long InputFile::Read(char* buffer, std::size_t size) {
  if (handle_ < 0) return -1;
  for (;;) {
    ssize_t n = sys::Read(static_cast<int>(handle_), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) SetLastErrorCode(errno);
    return static_cast<long>(n);
  }
}

void InputFile::Close() {
  if (handle_ >= 0) sys::Close(static_cast<int>(handle_));  // only read from
  handle_ = -1;
}

LockedFile::~LockedFile() { Close(); }

bool LockedFile::TryOpenLocked(const std::string& path) {
  // Busy the last time, on the same file: the lock is asked for again on
  // the descriptor already open (on a shared file system, each open and
  // close crosses the network).
  if (handle_ >= 0 && !locked_ && path == path_) {
    if (sys::LockExclusiveNow(static_cast<int>(handle_)) == 0) {
      busy_ = false;
      locked_ = true;
      read_size_ = -1;
      return true;
    }
    busy_ = errno == EWOULDBLOCK;
    SetLastErrorCode(errno);
    if (busy_) return false;
  }
  Close();
  busy_ = false;
  std::string used;
  int fd = OnName(
      path, [](const char* p) { return sys::Open(p, O_RDWR | O_CREAT, 0666); }, &used);
  folder_cache::Forget(used);
  if (fd < 0) return Fail();
  // flock (every BSD and Linux has it) rather than a POSIX record lock: it
  // belongs to this open file, as a Windows lock does, so a second open of the
  // counter in the same process neither shares nor drops it.
  if (sys::LockExclusiveNow(fd) != 0) {
    busy_ = errno == EWOULDBLOCK;
    SetLastErrorCode(errno);
    // Kept open while busy, to ask again.
    if (busy_) {
      handle_ = fd;
      path_ = path;
    } else {
      sys::Close(fd);
    }
    return false;
  }
  handle_ = fd;
  path_ = path;
  locked_ = true;
  local_ = !posix::NotKnownLocal(fd);
  read_size_ = -1;
  return true;
}

void LockedFile::Unlock() {
  if (!locked_) return;
  if (sys::Unlock(static_cast<int>(handle_)) != 0) {
    Close();
    return;
  }
  locked_ = false;
}

bool LockedFile::ReadAll(std::string& contents) {
  contents.clear();
  if (!locked_) return false;
  char chunk[4096];
  off_t offset = 0;
  for (;;) {
    ssize_t n = sys::Pread(static_cast<int>(handle_), chunk, sizeof chunk, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    contents.append(chunk, static_cast<std::size_t>(n));
    offset += n;
    // A local file system reads a file whole up to its end; elsewhere only
    // a read of nothing tells the end.
    if (n == 0 || (local_ && n < static_cast<ssize_t>(sizeof chunk))) {
      read_size_ = offset;
      return true;
    }
  }
}

namespace {

// The kernel's pages of the open file dropped, and (Linux) its size asked of
// the file system itself: a client that looked the name up while the file
// was empty may hold that size still, and reads no byte past it.
bool DropKernelCache(int fd) {
#if defined(__linux__)
  if (sys::RefreshAttributes(fd) != 0) return Fail();
#endif
  int error = sys::Fadvise(fd, POSIX_FADV_DONTNEED);
  if (error == 0) return true;
  SetLastErrorCode(error);
  return false;
}

}  // namespace

bool LockedFile::DropCached() {
  if (!locked_) return false;
  int fd = static_cast<int>(handle_);
#if defined(__linux__)
  // A user-space file system's client may keep small files' contents
  // itself, apart from the kernel's cache (GlusterFS does, fetched with the
  // name's look-up, which may come before the lock was had); an allocation
  // that changes nothing makes it let them go. Where it is refused, the
  // kernel's cache is the only one.
  sys::Fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, 1);
#endif
  return DropKernelCache(fd);
}

bool CanReadPastCaches(const std::string& path) {
  // Read only, never through a link, nothing made: the site check runs as
  // root in a folder the web account may write.
  int fd = OnName(path, [](const char* p) { return sys::Open(p, O_RDONLY | O_NOFOLLOW); });
  if (fd < 0) return Fail();
  bool ok = DropKernelCache(fd);
  sys::Close(fd);  // only read from
  return ok;
}

bool LockedFile::Rewrite(std::string_view contents) {
  if (!locked_) return false;
  int fd = static_cast<int>(handle_);
  // Under the lock the file is as long as ReadAll found it.
  struct stat st {};
  st.st_size = static_cast<off_t>(read_size_);
  if (read_size_ < 0 && sys::Fstat(fd, &st) != 0) return Fail();
  // The new bytes over the old, then the length cut: a crash at any moment
  // leaves the old or the new first line.
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n =
        sys::Pwrite(fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail();
    done += static_cast<std::size_t>(n);
  }
  read_size_ = std::max<long long>(read_size_, static_cast<long long>(contents.size()));
  // Once the new bytes stand, the new first line is in force: what stays of
  // a longer old text after it when the cut fails is never read.
  if (static_cast<std::size_t>(st.st_size) > contents.size() &&
      sys::Ftruncate(fd, static_cast<off_t>(contents.size())) == 0) {
    read_size_ = static_cast<long long>(contents.size());
  }
  return true;
}

void LockedFile::Close() {
  // Closing releases the lock. What Rewrite wrote stands, as the counter's
  // next reader sees, whatever a failing close reports.
  if (handle_ >= 0) sys::Close(static_cast<int>(handle_));
  handle_ = -1;
  busy_ = false;
  locked_ = false;
}

}  // namespace platform
