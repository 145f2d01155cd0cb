#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform {
namespace {

using folder_cache::Forget;
using folder_cache::Lexists;
using folder_cache::ResolveCase;

bool Fail() {
  SetLastErrorCode(errno);
  return false;
}

std::string g_drive_root;

using faults::Inject;
using faults::Op;

// The system calls that change or read files, each of which a test build can
// make fail (fault_injection.h).
int SysOpen(const char* path, int flags, mode_t mode = 0) {
  if (Inject((flags & O_CREAT) != 0 ? Op::kCreate : Op::kOpen)) return -1;
  return open(path, flags | O_CLOEXEC, mode);
}
ssize_t SysRead(int fd, void* buffer, std::size_t size) {
  if (Inject(Op::kRead)) return -1;
  return read(fd, buffer, size);
}
ssize_t SysWrite(int fd, const void* data, std::size_t size) {
  if (Inject(Op::kWrite)) return -1;
  return write(fd, data, size);
}
ssize_t SysPread(int fd, void* buffer, std::size_t size, off_t at) {
  if (Inject(Op::kRead)) return -1;
  return pread(fd, buffer, size, at);
}
ssize_t SysPwrite(int fd, const void* data, std::size_t size, off_t at) {
  if (Inject(Op::kWrite)) return -1;
  return pwrite(fd, data, size, at);
}
int SysFsync(int fd) { return Inject(Op::kSync) ? -1 : fsync(fd); }
int SysFtruncate(int fd, off_t size) { return Inject(Op::kTruncate) ? -1 : ftruncate(fd, size); }
int SysRename(const char* from, const char* to) {
  return Inject(Op::kRename) ? -1 : rename(from, to);
}
int SysLink(const char* from, const char* to) { return Inject(Op::kLink) ? -1 : link(from, to); }
int SysUnlink(const char* path) { return Inject(Op::kRemove) ? -1 : unlink(path); }
int SysMkdir(const char* path) { return Inject(Op::kMakeFolder) ? -1 : mkdir(path, 0777); }
int SysStat(const char* path, struct stat* st) { return Inject(Op::kStat) ? -1 : stat(path, st); }

// Separators made "/", the drive root put in front of a rooted path, doubled
// and trailing separators dropped; letter case as written.
std::string PlainPath(const std::string& path) {
  bool rooted = !path.empty() && (path[0] == '/' || path[0] == '\\');
  std::string s = rooted ? g_drive_root : std::string();
  std::size_t n = s.size();
  s.resize(n + path.size());
  char* out = s.data();
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && n > 0 && out[n - 1] == '/') continue;
    out[n++] = c;
  }
  while (n > 1 && out[n - 1] == '/') --n;
  s.resize(n);
  return s.empty() ? std::string(".") : s;
}

// After a rename: false (with an error) when the source still bears its
// name, as it does when both names were links of one file, where rename()
// does nothing and reports success.
bool SourceGone(const std::string& native_source) {
  if (!Lexists(native_source)) return true;
  SetLastErrorCode(EEXIST);
  return false;
}

// A number for a temporary name that no other running process uses: the
// process id in the high half, this process's own count (started from the
// clock, so that a later process with the same id begins elsewhere) in the
// low half.
std::uint64_t Unique() {
  static std::uint32_t counter = static_cast<std::uint32_t>(FileTimeNow() / 1000);
  return (static_cast<std::uint64_t>(getpid()) << 32) | ++counter;
}

// A name that is missing as written may exist in another letter case.
bool WorthResolving(int error) { return error == ENOENT || error == ENOTDIR; }

// stat() of a path, resolving letter case only when the plain path is missing.
bool StatPath(const std::string& path, struct stat& st) {
  std::string plain = folder_cache::WithKnownFolder(PlainPath(path));
  if (SysStat(plain.c_str(), &st) == 0) return true;
  if (!WorthResolving(errno)) return false;
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  // Looked up again even when the name as written came back: it may have
  // appeared since; and a name in another case may have gone since the folder
  // was listed, moved to the name as written (a file put back under its own
  // spelling). Either way one more look finds what stands there now.
  if (SysStat(resolved.c_str(), &st) == 0) return true;
  if (resolved != plain) {
    Forget(resolved);
    if (SysStat(plain.c_str(), &st) == 0) return true;
  }
  errno = first_error;
  return false;
}

// open() without O_CREAT, likewise.
int OpenExisting(const std::string& path, int flags) {
  std::string plain = folder_cache::WithKnownFolder(PlainPath(path));
  int fd = SysOpen(plain.c_str(), flags);
  if (fd >= 0 || !WorthResolving(errno)) return fd;
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  // One more look, as in StatPath.
  fd = SysOpen(resolved.c_str(), flags);
  if (fd >= 0) return fd;
  if (resolved != plain) {
    Forget(resolved);
    fd = SysOpen(plain.c_str(), flags);
    if (fd >= 0) return fd;
  }
  errno = first_error;
  return -1;
}

// open() that may create: the name as written first; a folder on the way in
// another letter case only when that fails. `used` gets the name opened.
int OpenForWriting(const std::string& path, int flags, std::string& used) {
  used = PlainPath(path);
  int fd = SysOpen(used.c_str(), flags, 0666);
  if (fd >= 0 || !WorthResolving(errno)) return fd;
  int first_error = errno;
  std::string resolved = ResolveCase(used);
  if (resolved != used) {
    fd = SysOpen(resolved.c_str(), flags, 0666);
    if (fd >= 0) {
      used = resolved;
      return fd;
    }
  }
  errno = first_error;
  return -1;
}

}  // namespace

void SetDriveRoot(const std::string& folder) {
  g_drive_root = folder;
  while (g_drive_root.size() > 1 && g_drive_root.back() == '/') g_drive_root.pop_back();
  folder_cache::ForgetAll();
}

const std::string& DriveRoot() { return g_drive_root; }

std::string NativePath(const std::string& path) {
  std::string plain = PlainPath(path);
  return Lexists(plain) ? plain : ResolveCase(plain);
}

void VisitFiles(const std::string& folder_and_pattern,
                const std::function<bool(const DirEntry&)>& visit) {
  std::size_t cut = folder_and_pattern.find_last_of("/\\");
  std::string folder = cut == std::string::npos ? "." : folder_and_pattern.substr(0, cut + 1);
  std::string_view pattern(folder_and_pattern);
  if (cut != std::string::npos) pattern.remove_prefix(cut + 1);
  std::string plain = PlainPath(folder);
  folder_cache::Listing* listing = &folder_cache::List(plain);
  if (!listing->ok) {
    std::string resolved = ResolveCase(plain);
    if (resolved == plain) return;
    listing = &folder_cache::List(resolved);
  }
  const WildcardPattern compiled(pattern);
  for (const DirEntry& entry : listing->entries) {
    if (compiled.Matches(entry.name) && !visit(entry)) return;
  }
}

std::vector<DirEntry> FindFiles(const std::string& folder_and_pattern) {
  std::vector<DirEntry> found;
  VisitFiles(folder_and_pattern, [&found](const DirEntry& entry) {
    found.push_back(entry);
    return true;
  });
  SortAsListed(found);
  return found;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return StatPath(path, st) || Fail();
}

bool FileExists(const std::string& path) {
  struct stat st {};
  if (!StatPath(path, st)) return Fail();
  return !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  if (!StatPath(path, st)) return Fail();
  return S_ISDIR(st.st_mode);
}

bool GetAttributes(const std::string& path, std::uint32_t& attributes) {
  struct stat st {};
  std::string native = NativePath(path);
  if (stat(native.c_str(), &st) != 0) return Fail();
  attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  std::size_t slash = native.find_last_of('/');
  if (native[slash == std::string::npos ? 0 : slash + 1] == '.') attributes |= kAttrHidden;
  return true;
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  std::string native = NativePath(path);
  struct stat st {};
  if (stat(native.c_str(), &st) != 0) return Fail();
  mode_t mode = st.st_mode & 07777;
  if ((attributes & kAttrReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    mode |= S_IWUSR;
  }
  return chmod(native.c_str(), mode) == 0 || Fail();
}

bool GetModifiedTime(const std::string& path, FileTime& time) {
  struct stat st {};
  if (!StatPath(path, st)) return Fail();
  time = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

bool GetNameTime(const std::string& path, FileTime& time) {
  struct stat st {};
  if (!StatPath(path, st)) return Fail();
  time = static_cast<FileTime>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
  return true;
}

bool SetModifiedTime(const std::string& path, FileTime time) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time / 1000000000LL);
  times[1].tv_nsec = static_cast<long>(time % 1000000000LL);
  return utimensat(AT_FDCWD, NativePath(path).c_str(), times, 0) == 0 || Fail();
}

FileTime FileTimeFromUnixSeconds(std::int64_t seconds) { return seconds * 1000000000LL; }

FileTime FileTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<FileTime>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

bool CreateDirectories(const std::string& path) {
  std::string native = NativePath(path);
  folder_cache::ForgetAll();
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = native.find('/', pos + 1);
    partial = native.substr(0, pos);
    if (partial.empty()) continue;
    if (SysMkdir(partial.c_str()) != 0 && errno != EEXIST) return Fail();
  }
  struct stat st {};
  return (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || Fail();
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string a = NativePath(from), b = NativePath(to);
  Forget(a);
  Forget(b);
  if (SysRename(a.c_str(), b.c_str()) != 0) return Fail();
  return SourceGone(a);
}

bool RemoveFile(const std::string& path) {
  std::string plain = PlainPath(path);
  Forget(plain);
  if (SysUnlink(plain.c_str()) == 0) return true;
  if (!WorthResolving(errno)) return Fail();
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  if (resolved != plain) {
    Forget(resolved);
    if (SysUnlink(resolved.c_str()) == 0) return true;
  }
  SetLastErrorCode(first_error);
  return false;
}

bool CreateUniqueFile(const std::string& folder, const std::string& kind, std::string& created) {
  std::string native = NativePath(folder);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = TemporaryName(kind, Unique());
    std::string path = native + "/" + name;
    int fd = SysOpen(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      close(fd);
      Forget(path);
      created = JoinName(folder, name);
      return true;
    }
    if (errno != EEXIST) return Fail();
  }
  return Fail();
}

CreateResult CreateNewFile(const std::string& path) {
  std::string used;
  int fd = OpenForWriting(path, O_WRONLY | O_CREAT | O_EXCL, used);
  Forget(used);
  if (fd < 0) {
    SetLastErrorCode(errno);
    return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  }
  close(fd);
  return CreateResult::kCreated;
}

namespace {
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = SysWrite(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Flushes a folder's entries (a rename or a new name in it) to disk.
bool SyncFolder(const std::string& native_folder) {
  int fd = SysOpen(native_folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return Fail();
  bool ok = SysFsync(fd) == 0 || Fail();
  close(fd);
  return ok;
}

// A byte-for-byte copy to a new file; for folders where hard links are refused.
bool CopyToNewFile(const std::string& from_native, const std::string& to_native) {
  int in = SysOpen(from_native.c_str(), O_RDONLY);
  if (in < 0) return Fail();
  int out = SysOpen(to_native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (out < 0) {
    int error = errno;
    close(in);
    SetLastErrorCode(error);
    return false;
  }
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = SysRead(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!WriteAll(out, std::string_view(chunk, static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  if (!ok) SetLastErrorCode(errno);
  close(in);
  if (close(out) != 0 && ok) return Fail();
  return ok;
}
}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view contents, bool durable) {
  std::string used;
  int fd = OpenForWriting(path, O_WRONLY | O_CREAT | O_TRUNC, used);
  Forget(used);
  if (fd < 0) return Fail();
  bool ok = WriteAll(fd, contents) && (!durable || SysFsync(fd) == 0);
  if (!ok) SetLastErrorCode(errno);
  if (close(fd) != 0 && ok) return Fail();
  return ok;
}

AppendResult AppendToFile(const std::string& path, std::string_view contents) {
  int fd = OpenExisting(path, O_WRONLY | O_APPEND);
  if (fd < 0) {
    Fail();
    return AppendResult::kNothingWritten;
  }
  ssize_t n = SysWrite(fd, contents.data(), contents.size());
  AppendResult result = AppendResult::kAppended;
  if (n != static_cast<ssize_t>(contents.size())) {
    SetLastErrorCode(n < 0 ? errno : ENOSPC);
    result = AppendResult::kNothingWritten;
    if (n > 0) {
      // Cut short (a full disk): the part written is taken back while it is
      // still the end of the file, so that no torn line stays; when another
      // append already follows it, it has to stay.
      off_t end = lseek(fd, 0, SEEK_CUR);
      struct stat st {};
      bool taken_back =
          end >= n && fstat(fd, &st) == 0 && st.st_size == end && SysFtruncate(fd, end - n) == 0;
      if (!taken_back) result = AppendResult::kCutShort;
    }
  }
  close(fd);
  return result;
}

bool ReplaceWithBackup(const std::string& replacement, const std::string& target,
                       const std::string& backup) {
  // The target's own spelling, and the name it has on disk now (another
  // letter case, say from a copy off a Windows server).
  std::string r = NativePath(replacement), own = PlainPath(target), now = NativePath(target);
  std::string b = NativePath(backup);
  Forget(r);
  Forget(own);
  Forget(now);
  Forget(b);
  struct stat st {};
  if (lstat(now.c_str(), &st) == 0) {
    // Keep the previous file under the backup name first; the target itself is
    // never missing, so a reader always finds a complete file.
    std::string staging;
    int linked = -1;
    do {
      staging = folder_cache::ParentFolder(b) + "/" + TemporaryName("lnk", Unique());
      linked = SysLink(now.c_str(), staging.c_str());
    } while (linked != 0 && errno == EEXIST);
    if (linked != 0) {
      // Hard links refused (some network shares): a copy does.
      if (!CopyToNewFile(now, staging)) {
        unlink(staging.c_str());
        return false;
      }
    }
    int renamed = SysRename(staging.c_str(), b.c_str());
    int error = errno;
    // Whatever rename() reported: when the backup already was a link of the
    // same file, it did nothing and the staging name is still there.
    unlink(staging.c_str());
    if (renamed != 0) {
      SetLastErrorCode(error);
      return false;
    }
  }
  if (SysRename(r.c_str(), own.c_str()) != 0) return Fail();
  if (!SourceGone(r)) return false;
  // The old spelling goes only now that the new file stands in place.
  if (now != own && Lexists(now)) SysUnlink(now.c_str());
  SyncFolder(folder_cache::ParentFolder(own));
  return true;
}

std::string SystemErrorText(int code) { return std::strerror(code); }

FolderTimes::FolderTimes(const std::string& folder) : folder_(folder) {
  std::string plain = PlainPath(folder);
  int fd = open(plain.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && WorthResolving(errno)) {
    fd = open(ResolveCase(plain).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  handle_ = fd;
}

FolderTimes::~FolderTimes() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool FolderTimes::Get(const std::string& name, FileTime& time) {
  if (handle_ < 0) return GetModifiedTime(JoinName(folder_, name), time);
  struct stat st {};
  if (fstatat(static_cast<int>(handle_), name.c_str(), &st, 0) != 0) return Fail();
  time = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  // A folder opens too; reading it then fails (EISDIR).
  int fd = OpenExisting(path, O_RDONLY);
  if (fd < 0) return Fail();
  handle_ = fd;
  return true;
}

long InputFile::Read(char* buffer, std::size_t size) {
  if (handle_ < 0) return -1;
  for (;;) {
    ssize_t n = SysRead(static_cast<int>(handle_), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) SetLastErrorCode(errno);
    return static_cast<long>(n);
  }
}

void InputFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

LockedFile::~LockedFile() { Close(); }

bool LockedFile::TryOpenLocked(const std::string& path) {
  Close();
  busy_ = false;
  std::string used;
  int fd = OpenForWriting(path, O_RDWR | O_CREAT, used);
  Forget(used);
  if (fd < 0) return Fail();
  // flock (every BSD and Linux has it) rather than a POSIX record lock: it
  // belongs to this open file, as a Windows lock does, so a second open of the
  // counter in the same process neither shares nor drops it.
  if (Inject(Op::kLock) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    busy_ = errno == EWOULDBLOCK;
    SetLastErrorCode(errno);
    close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool LockedFile::ReadAll(std::string& contents) {
  contents.clear();
  if (handle_ < 0) return false;
  char chunk[4096];
  off_t offset = 0;
  for (;;) {
    ssize_t n = SysPread(static_cast<int>(handle_), chunk, sizeof chunk, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    if (n == 0) return true;
    contents.append(chunk, static_cast<std::size_t>(n));
    offset += n;
  }
}

bool LockedFile::Rewrite(std::string_view contents) {
  if (handle_ < 0) return false;
  int fd = static_cast<int>(handle_);
  struct stat st {};
  if (fstat(fd, &st) != 0) return Fail();
  // The new bytes over the old, then the length cut: a crash at any moment
  // leaves the old or the new first line.
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n =
        SysPwrite(fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail();
    done += static_cast<std::size_t>(n);
  }
  // Once the new bytes stand, the new first line is in force: what stays of
  // a longer old text after it when the cut fails is never read.
  if (static_cast<std::size_t>(st.st_size) > contents.size()) {
    SysFtruncate(fd, static_cast<off_t>(contents.size()));
  }
  return true;
}

void LockedFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing releases the lock
  handle_ = -1;
}

}  // namespace platform
