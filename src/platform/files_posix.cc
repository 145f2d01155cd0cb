// The POSIX file service, its functions on names and whole files. Its parts:
//   posix_calls.h          the system calls, one wrapper each (the fault seam)
//   posix_names.cc         plain paths, the drive root, letter-case look-ups
//   folder_cache_posix.cc  folder listings and the real letter case of names
//   files_posix.cc         this file: existence, attributes and times,
//                          folders, renames and removals, whole-file reads,
//                          writes and appends
//   replace_posix.cc       putting a new file in place of another, with backup
//   file_classes_posix.cc  FolderTimes, InputFile, LockedFile
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "platform/files.h"
#include "platform/folder_cache.h"
#include "platform/posix_calls.h"
#include "platform/posix_names.h"

namespace platform {

using posix::Fail;
using posix::OnName;
using posix::PlainPath;

namespace {

// stat() of a path, resolving letter case where the name is missing as written.
bool StatPath(const std::string& path, struct stat& st) {
  return OnName(path, [&st](const char* p) { return sys::Stat(p, &st); }) == 0;
}

FileTime ModifiedTimeOf(const struct stat& st) {
  return static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

}  // namespace

void BeginRequest() { folder_cache::BeginRequest(); }

void VisitFiles(const std::string& folder_and_pattern,
                const std::function<bool(const DirEntry&)>& visit) {
  RecordFolderOf(folder_and_pattern);
  std::size_t cut = folder_and_pattern.find_last_of("/\\");
  std::string folder = cut == std::string::npos ? "." : folder_and_pattern.substr(0, cut + 1);
  std::string_view pattern(folder_and_pattern);
  if (cut != std::string::npos) pattern.remove_prefix(cut + 1);
  std::string plain = PlainPath(folder);
  folder_cache::Listing* listing = &folder_cache::List(plain);
  if (!listing->ok) {
    std::string resolved = folder_cache::ResolveCase(plain);
    if (resolved == plain) return;
    listing = &folder_cache::List(resolved);
  }
  const WildcardPattern compiled(pattern);
  for (const DirEntry& entry : listing->entries) {
    if (compiled.Matches(entry.name) && !visit(entry)) return;
  }
}

void VisitNamesOnce(const std::string& folder_and_pattern,
                    const std::function<void(std::string_view)>& visit) {
  RecordFolderOf(folder_and_pattern);
  std::size_t cut = folder_and_pattern.find_last_of("/\\");
  std::string folder = cut == std::string::npos ? "." : folder_and_pattern.substr(0, cut + 1);
  std::string_view pattern(folder_and_pattern);
  if (cut != std::string::npos) pattern.remove_prefix(cut + 1);
  DIR* dir = sys::OpenDir(folder_cache::ResolveCase(PlainPath(folder)).c_str());
  if (dir == nullptr) {
    SetLastErrorCode(errno);
    return;
  }
  const WildcardPattern compiled(pattern);
  for (;;) {
    errno = 0;
    dirent* e = sys::ReadDir(dir);
    if (e == nullptr) {
      if (errno != 0) SetLastErrorCode(errno);
      break;
    }
    std::string_view name(e->d_name);
    if (name != "." && name != ".." && compiled.Matches(name)) visit(name);
  }
  sys::CloseDir(dir);  // only read from
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
  if (sys::Stat(native.c_str(), &st) != 0) return Fail();
  attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  std::size_t slash = native.find_last_of('/');
  if (native[slash == std::string::npos ? 0 : slash + 1] == '.') attributes |= kAttrHidden;
  return true;
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  std::string native = NativePath(path);
  struct stat st {};
  if (sys::Stat(native.c_str(), &st) != 0) return Fail();
  mode_t mode = st.st_mode & 07777;
  if ((attributes & kAttrReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    mode |= S_IWUSR;
  }
  return sys::Chmod(native.c_str(), mode) == 0 || Fail();
}

bool GetModifiedTime(const std::string& path, FileTime& time) {
  RecordFile(path);
  struct stat st {};
  if (!StatPath(path, st)) return Fail();
  if (st.st_nlink > 1) RecordOtherNames(path);
  time = ModifiedTimeOf(st);
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
  return sys::SetTimes(NativePath(path).c_str(), times) == 0 || Fail();
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
    if (sys::Mkdir(partial.c_str()) != 0 && errno != EEXIST) return Fail();
  }
  struct stat st {};
  return (sys::Stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || Fail();
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string a = NativePath(from), b = NativePath(to);
  folder_cache::Forget(a);
  folder_cache::Forget(b);
  if (sys::Rename(a.c_str(), b.c_str()) != 0) return Fail();
  return posix::RenamedAway(a);
}

bool RemoveFile(const std::string& path) {
  return OnName(path,
                [](const char* p) {
                  folder_cache::Forget(p);
                  return sys::Unlink(p);
                }) == 0 ||
         Fail();
}

bool CreateUniqueFile(const std::string& folder, const std::string& kind, std::string& created) {
  std::string native = NativePath(folder);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = TemporaryName(kind, posix::UniqueNumber());
    std::string path = native + "/" + name;
    int fd = sys::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      sys::Close(fd);  // nothing was written: nothing to lose
      folder_cache::Forget(path);
      created = JoinName(folder, name);
      return true;
    }
    if (errno != EEXIST) return Fail();
  }
  return Fail();
}

CreateResult CreateNewFile(const std::string& path) {
  std::string used;
  int fd = OnName(
      path, [](const char* p) { return sys::Open(p, O_WRONLY | O_CREAT | O_EXCL, 0666); }, &used);
  folder_cache::Forget(used);
  if (fd < 0) {
    SetLastErrorCode(errno);
    return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  }
  sys::Close(fd);  // an empty file: nothing to lose
  return CreateResult::kCreated;
}

namespace {

// `contents` written through `fd`, which is then closed; false (the error
// noted) where any of it may be lost.
bool WriteAndClose(int fd, std::string_view contents, bool durable) {
  bool ok =
      posix::WriteAll(fd, contents.data(), contents.size()) && (!durable || sys::Fsync(fd) == 0);
  if (!ok) SetLastErrorCode(errno);
  // A close that fails may have lost what was written.
  if (sys::Close(fd) != 0 && ok) return Fail();
  return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view contents, bool durable) {
  std::string used;
  int fd = OnName(
      path, [](const char* p) { return sys::Open(p, O_WRONLY | O_CREAT | O_TRUNC, 0666); }, &used);
  folder_cache::Forget(used);
  if (fd < 0) return Fail();
  return WriteAndClose(fd, contents, durable);
}

CreateResult WriteNewFile(const std::string& path, std::string_view contents, bool durable) {
  std::string used;
  int fd = OnName(
      path,
      [](const char* p) { return sys::Open(p, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666); },
      &used);
  folder_cache::Forget(used);
  if (fd < 0) {
    SetLastErrorCode(errno);
    return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  }
  return WriteAndClose(fd, contents, durable) ? CreateResult::kCreated : CreateResult::kFailed;
}

AppendingFile::~AppendingFile() { Close(); }

bool AppendingFile::Open(const std::string& path) {
  Close();
  int fd = OnName(path, [](const char* p) { return sys::Open(p, O_WRONLY | O_APPEND); });
  if (fd < 0) return Fail();
  handle_ = fd;
  path_ = path;
  return true;
}

void AppendingFile::Close() {
  // Each line went out in one write, whole or taken back: a failing close
  // changes nothing of that.
  if (handle_ >= 0) sys::Close(static_cast<int>(handle_));
  handle_ = -1;
}

AppendResult AppendToFile(const std::string& path, std::string_view contents) {
  AppendingFile file;
  return file.Open(path) ? file.Append(contents) : AppendResult::kNothingWritten;
}

AppendResult AppendingFile::Append(std::string_view contents) {
  if (handle_ < 0) return AppendResult::kNothingWritten;
  const int fd = static_cast<int>(handle_);
  const auto size = static_cast<ssize_t>(contents.size());
  struct stat st {};
#if defined(__linux__)
  // The room for it is made sure of first, so that a full disk refuses the
  // line before any of it is written. The room reaches past the end by a
  // page more where there is one, for what the siblings may append
  // meanwhile; it leaves the file's size as it is. A file system that cannot
  // reserve is written as it comes.
  constexpr off_t kRoomForOthers = 4096;
  auto refused = [&](off_t room) {
    return sys::Fallocate(fd, FALLOC_FL_KEEP_SIZE, st.st_size, room) != 0 &&
           (errno == ENOSPC || errno == EDQUOT);
  };
  if (sys::Fstat(fd, &st) == 0 && refused(size + kRoomForOthers) && refused(size)) {
    Fail();
    return AppendResult::kNothingWritten;
  }
#endif
  ssize_t n = sys::Write(fd, contents.data(), contents.size());
  AppendResult result = AppendResult::kAppended;
  if (n != size) {
    int error = n < 0 ? errno : ENOSPC;
    result = AppendResult::kNothingWritten;
    if (n > 0) {
      // What part of it was written is taken back while the file still ends
      // with it; where another process's line has followed it (the siblings
      // take no lock), a cut would take that too, and the part stays.
      off_t end = sys::Seek(fd, 0, SEEK_CUR);
      bool ends_with_it = end >= n && sys::Fstat(fd, &st) == 0 && st.st_size == end;
      if (!ends_with_it || sys::Ftruncate(fd, end - n) != 0) result = AppendResult::kCutShort;
    }
    SetLastErrorCode(error);
  }
  return result;
}

std::string SystemErrorText(int code) {
  return code == kRefusedName ? kRefusedNameText : std::strerror(code);
}

bool IsReplacedNameError(int code) { return IsMissingNameError(code) || code == ESTALE; }

bool OnSharedFileSystem(const std::string& path) {
  std::string native = NativePath(path);
  // A name not there yet lies on the file system of the folder it would be made in.
  while (!folder_cache::Lexists(native) && native != "/" && native != ".") {
    native = folder_cache::ParentFolder(native);
  }
  return posix::NotKnownLocal(native);
}

bool OnReadOnlyFileSystem(const std::string& path) {
  struct statvfs fs {};
  return statvfs(NativePath(path).c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

void Restamp(FileStamp& stamp) {
  struct stat st {};
  const std::string native = std::move(stamp.native);
  stamp = FileStamp{native};
  if (sys::Stat(stamp.native.c_str(), &st) != 0) return;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.file = st.st_ino;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified = ModifiedTimeOf(st);
  stamp.changed = static_cast<FileTime>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
}

}  // namespace platform
