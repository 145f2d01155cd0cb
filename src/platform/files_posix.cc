#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform {
namespace {

using folder_cache::Forget;
using folder_cache::ResolveCase;

bool Fail() {
  SetLastErrorCode(errno);
  return false;
}

std::string g_drive_root;

bool Lexists(const std::string& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0;
}

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

// A name that is missing as written may exist in another letter case.
bool WorthResolving(int error) { return error == ENOENT || error == ENOTDIR; }

// stat() of a path, resolving letter case only when the plain path is missing.
bool StatPath(const std::string& path, struct stat& st) {
  std::string plain = PlainPath(path);
  if (stat(plain.c_str(), &st) == 0) return true;
  if (!WorthResolving(errno)) return false;
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  if (resolved != plain && stat(resolved.c_str(), &st) == 0) return true;
  errno = first_error;
  return false;
}

// open() without O_CREAT, likewise.
int OpenExisting(const std::string& path, int flags) {
  std::string plain = PlainPath(path);
  int fd = open(plain.c_str(), flags | O_CLOEXEC);
  if (fd >= 0 || !WorthResolving(errno)) return fd;
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  if (resolved != plain) {
    fd = open(resolved.c_str(), flags | O_CLOEXEC);
    if (fd >= 0) return fd;
  }
  errno = first_error;
  return -1;
}

// open() that may create: the name as written first; a folder on the way in
// another letter case only when that fails. `used` gets the name opened.
int OpenForWriting(const std::string& path, int flags, std::string& used) {
  used = PlainPath(path);
  int fd = open(used.c_str(), flags | O_CLOEXEC, 0666);
  if (fd >= 0 || !WorthResolving(errno)) return fd;
  int first_error = errno;
  std::string resolved = ResolveCase(used);
  if (resolved != used) {
    fd = open(resolved.c_str(), flags | O_CLOEXEC, 0666);
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
    if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return Fail();
  }
  struct stat st {};
  return (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || Fail();
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string a = NativePath(from), b = NativePath(to);
  Forget(a);
  Forget(b);
  return rename(a.c_str(), b.c_str()) == 0 || Fail();
}

bool RemoveFile(const std::string& path) {
  std::string plain = PlainPath(path);
  Forget(plain);
  if (unlink(plain.c_str()) == 0) return true;
  if (!WorthResolving(errno)) return Fail();
  int first_error = errno;
  std::string resolved = ResolveCase(plain);
  if (resolved != plain) {
    Forget(resolved);
    if (unlink(resolved.c_str()) == 0) return true;
  }
  SetLastErrorCode(first_error);
  return false;
}

bool CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string& created) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string native = NativePath(folder);
  Forget(native);
  unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u;
  for (unsigned attempt = 0; attempt < 65536; ++attempt) {
    unsigned unique = (seed + attempt) & 0xFFFFu;
    if (unique == 0) continue;
    std::string name = prefix.substr(0, 3);
    for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(unique >> shift) & 0xF];
    name += ".tmp";
    int fd = open((native + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
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
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view contents) {
  std::string used;
  int fd = OpenForWriting(path, O_WRONLY | O_CREAT | O_TRUNC, used);
  Forget(used);
  if (fd < 0) return Fail();
  bool ok = WriteAll(fd, contents);
  if (!ok) SetLastErrorCode(errno);
  if (close(fd) != 0 && ok) return Fail();
  return ok;
}

bool AppendToFile(const std::string& path, std::string_view contents) {
  int fd = OpenExisting(path, O_WRONLY | O_APPEND);
  if (fd < 0) return Fail();
  ssize_t n = write(fd, contents.data(), contents.size());
  bool ok = n == static_cast<ssize_t>(contents.size());
  if (!ok) SetLastErrorCode(n < 0 ? errno : EIO);
  if (close(fd) != 0 && ok) return Fail();
  return ok;
}

bool ReplaceWithBackup(const std::string& replacement, const std::string& target,
                       const std::string& backup) {
  std::string r = NativePath(replacement), t = NativePath(target), b = NativePath(backup);
  Forget(r);
  Forget(t);
  Forget(b);
  struct stat st {};
  if (stat(t.c_str(), &st) == 0) {
    // Keep the previous file under the backup name first; the target itself is
    // never missing, so a reader always finds a complete file.
    std::string staging = b + "." + std::to_string(getpid()) + ".lnk";
    unlink(staging.c_str());
    if (link(t.c_str(), staging.c_str()) != 0) {
      std::string previous;
      if (!ReadWholeFile(target, previous) || !WriteWholeFile(staging, previous)) {
        unlink(staging.c_str());
        return false;
      }
    }
    if (rename(staging.c_str(), b.c_str()) != 0) {
      SetLastErrorCode(errno);
      unlink(staging.c_str());
      return false;
    }
  }
  return rename(r.c_str(), t.c_str()) == 0 || Fail();
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
  int fd = OpenExisting(path, O_RDONLY);
  if (fd < 0) return Fail();
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    SetLastErrorCode(EISDIR);
    return false;
  }
  handle_ = fd;
  return true;
}

long InputFile::Read(char* buffer, std::size_t size) {
  if (handle_ < 0) return -1;
  for (;;) {
    ssize_t n = read(static_cast<int>(handle_), buffer, size);
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
  std::string used;
  int fd = OpenForWriting(path, O_RDWR | O_CREAT, used);
  Forget(used);
  if (fd < 0) return Fail();
  // flock (every BSD and Linux has it) rather than a POSIX record lock: it
  // belongs to this open file, as a Windows lock does, so a second open of the
  // counter in the same process neither shares nor drops it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
    ssize_t n = pread(static_cast<int>(handle_), chunk, sizeof chunk, offset);
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
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return Fail();
  return WriteAll(fd, contents) || Fail();
}

void LockedFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing releases the lock
  handle_ = -1;
}

}  // namespace platform
