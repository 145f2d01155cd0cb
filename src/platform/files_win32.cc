// The Windows file service. Every system call goes through win32_calls.h.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32_calls.h"

namespace platform {
namespace {

std::string g_drive_root;

bool Fail() {
  SetLastErrorCode(static_cast<int>(GetLastError()));
  return false;
}

std::int64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::uint32_t AttrsFrom(DWORD a) {
  return static_cast<std::uint32_t>(a) & (kAttrReadOnly | kAttrHidden | kAttrSystem |
                                          kAttrVolumeLabel | kAttrDirectory | kAttrArchive);
}

HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
  return win32::Open(NativePath(path).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition,
                     FILE_ATTRIBUTE_NORMAL);
}

bool WriteAll(HANDLE h, std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = data.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!win32::Write(h, data.data(), chunk, &written) || written == 0) return Fail();
    data.remove_prefix(written);
  }
  return true;
}

}  // namespace

// Nothing is kept between calls: Windows lists a folder and finds a name in
// another letter case itself.
void BeginRequest() {}

void SetDriveRoot(const std::string& folder) {
  g_drive_root = folder;
  while (!g_drive_root.empty() && (g_drive_root.back() == '/' || g_drive_root.back() == '\\')) {
    g_drive_root.pop_back();
  }
}

const std::string& DriveRoot() { return g_drive_root; }

bool IsMissingNameError(int code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_NO_MORE_FILES;
}

// A file being replaced by another host through a share is, for a moment,
// missing or held by that host.
bool IsReplacedNameError(int code) {
  return IsMissingNameError(code) || code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
}

bool OnSharedFileSystem(const std::string& path) {
  std::string native = NativePath(path);
  if (native.size() > 1 && native[0] == '\\' && native[1] == '\\') return true;  // \\server\share
  char root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameA(native.c_str(), root, sizeof root)) return false;
  return GetDriveTypeA(root) == DRIVE_REMOTE;
}

bool OnReadOnlyFileSystem(const std::string& path) {
  char root[MAX_PATH + 1] = {};
  DWORD flags = 0;
  return GetVolumePathNameA(NativePath(path).c_str(), root, sizeof root) &&
         GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_READ_ONLY_VOLUME) != 0;
}

// Windows gives a name's attributes, size and times without opening it:
// the creation time stands for which file it is (a file put in place of
// another is a new one), the attributes for its kind.
void Restamp(FileStamp& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  const std::string native = std::move(stamp.native);
  stamp = FileStamp{native};
  if (!win32::AttributeData(stamp.native.c_str(), &data)) return;
  stamp.exists = true;
  stamp.file = data.dwFileAttributes;
  stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.modified = Ticks(data.ftLastWriteTime);
  stamp.changed = Ticks(data.ftCreationTime);
}

std::string NativePath(const std::string& path) {
  RecordFolderOf(path);
  std::string s;
  bool rooted = !path.empty() && (path[0] == '/' || path[0] == '\\') &&
                !(path.size() > 1 && (path[1] == '/' || path[1] == '\\'));
  if (rooted && !g_drive_root.empty()) s = g_drive_root;
  for (char c : path) s += c == '/' ? '\\' : c;
  if (s.empty()) return ".";
  return s;
}

std::string OperatorPath(const std::string& path) {
  std::string native = NativePath(path);
  std::string line;
  for (std::size_t i = 0; i < native.size(); ++i) {
    // A doubled separator made one, but for the two that begin a network name.
    if (native[i] == '\\' && i > 1 && native[i - 1] == '\\') continue;
    line += native[i];
  }
  // No separator at the end, but for a drive's or the server's root.
  while (line.size() > 1 && line.back() == '\\' && line[line.size() - 2] != ':') line.pop_back();
  return line;
}

std::vector<DirEntry> FindFiles(const std::string& folder_and_pattern) {
  std::vector<DirEntry> found;
  WIN32_FIND_DATAA data;
  HANDLE h = win32::FindFirst(NativePath(folder_and_pattern).c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    Fail();
    return found;
  }
  do {
    std::string_view name(data.cFileName);
    if (name == "." || name == "..") continue;
    found.push_back(DirEntry{std::string(name), AttrsFrom(data.dwFileAttributes)});
  } while (win32::FindNext(h, &data));
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    // Part of a listing would tell of names that are there as missing.
    Fail();
    found.clear();
  }
  win32::FindEnd(h);  // only read from
  SortAsListed(found);
  return found;
}

void VisitFiles(const std::string& folder_and_pattern,
                const std::function<bool(const DirEntry&)>& visit) {
  for (const DirEntry& entry : FindFiles(folder_and_pattern)) {
    if (!visit(entry)) return;
  }
}

void VisitNamesOnce(const std::string& folder_and_pattern,
                    const std::function<void(std::string_view)>& visit) {
  // Windows keeps no listings: every search is read afresh.
  for (const DirEntry& entry : FindFiles(folder_and_pattern)) visit(entry.name);
}

bool PathExists(const std::string& path) {
  return win32::Attributes(NativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES || Fail();
}

bool FileExists(const std::string& path) {
  DWORD a = win32::Attributes(NativePath(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail();
  return (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  DWORD a = win32::Attributes(NativePath(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail();
  return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetAttributes(const std::string& path, std::uint32_t& attributes) {
  DWORD a = win32::Attributes(NativePath(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail();
  attributes = AttrsFrom(a);
  return true;
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  return win32::SetAttributes(NativePath(path).c_str(), attributes) != 0 || Fail();
}

bool GetModifiedTime(const std::string& path, FileTime& time) {
  RecordFile(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!win32::AttributeData(NativePath(path).c_str(), &data)) return Fail();
  time = Ticks(data.ftLastWriteTime);
  return true;
}

bool GetNameTime(const std::string& path, FileTime& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!win32::AttributeData(NativePath(path).c_str(), &data)) return Fail();
  time = Ticks(data.ftCreationTime);
  return true;
}

bool SetModifiedTime(const std::string& path, FileTime time) {
  HANDLE h = OpenShared(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32);
  bool ok = win32::SetModifiedTime(h, &ft) != 0 || Fail();
  win32::Close(h);  // the time is set, or the failure already told
  return ok;
}

FileTime FileTimeFromUnixSeconds(std::int64_t seconds) {
  return (seconds + 11644473600LL) * 10000000LL;
}

FileTime FileTimeNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return Ticks(ft);
}

bool CreateDirectories(const std::string& path) {
  std::string native = NativePath(path);
  while (!native.empty() && native.back() == '\\') native.pop_back();
  if (native.empty()) return false;
  DWORD a = win32::Attributes(native.c_str());
  if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::size_t cut = native.find_last_of('\\');
  if (cut != std::string::npos && cut > 0 && native[cut - 1] != ':') {
    if (!CreateDirectories(native.substr(0, cut))) return false;
  }
  if (!win32::MakeFolder(native.c_str()) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return Fail();
  }
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return win32::Move(NativePath(from).c_str(), NativePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
             0 ||
         Fail();
}

bool RemoveFile(const std::string& path) {
  return win32::Remove(NativePath(path).c_str()) != 0 || Fail();
}

bool CreateUniqueFile(const std::string& folder, const std::string& kind, std::string& created) {
  static std::uint64_t counter = 0;
  std::string native = NativePath(folder);
  if (!native.empty() && native.back() != '\\') native += '\\';
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // The process id in the high half, this process's own count in the low.
    std::uint64_t unique = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) |
                           static_cast<std::uint32_t>(++counter + FileTimeNow() / 10000);
    std::string name = TemporaryName(kind, unique);
    HANDLE h =
        win32::Open((native + name).c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (h != INVALID_HANDLE_VALUE) {
      win32::Close(h);  // nothing was written: nothing to lose
      created = JoinName(folder, name);
      return true;
    }
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return Fail();
  }
  return Fail();
}

namespace {

// A new file at `path` (CREATE_NEW fails on any name taken, a link's
// included); INVALID_HANDLE_VALUE with `result` saying why.
HANDLE OpenNew(const std::string& path, CreateResult& result) {
  HANDLE h = OpenShared(path, GENERIC_WRITE, CREATE_NEW);
  result = CreateResult::kCreated;
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    SetLastErrorCode(static_cast<int>(e));
    result = (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) ? CreateResult::kExists
                                                                   : CreateResult::kFailed;
  }
  return h;
}

// `contents` written through `h`, which is then closed; false (the error
// noted) where any of it may be lost.
bool WriteAndClose(HANDLE h, std::string_view contents, bool durable) {
  bool ok = WriteAll(h, contents) && (!durable || win32::Flush(h) != 0 || Fail());
  // A close that fails may have lost what was written.
  if (!win32::Close(h) && ok) return Fail();
  return ok;
}

}  // namespace

CreateResult CreateNewFile(const std::string& path) {
  CreateResult result;
  HANDLE h = OpenNew(path, result);
  if (h != INVALID_HANDLE_VALUE) win32::Close(h);  // an empty file: nothing to lose
  return result;
}

bool WriteWholeFile(const std::string& path, std::string_view contents, bool durable) {
  HANDLE h = OpenShared(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  return WriteAndClose(h, contents, durable);
}

CreateResult WriteNewFile(const std::string& path, std::string_view contents, bool durable) {
  CreateResult result;
  HANDLE h = OpenNew(path, result);
  if (h == INVALID_HANDLE_VALUE) return result;
  return WriteAndClose(h, contents, durable) ? CreateResult::kCreated : CreateResult::kFailed;
}

AppendingFile::~AppendingFile() { Close(); }

bool AppendingFile::Open(const std::string& path) {
  Close();
  HANDLE h = OpenShared(path, FILE_APPEND_DATA, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_ = path;
  return true;
}

void AppendingFile::Close() {
  // Each line went out in one write, or not at all.
  if (handle_ != -1) win32::Close(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

AppendResult AppendingFile::Append(std::string_view contents) {
  if (handle_ == -1) return AppendResult::kNothingWritten;
  DWORD written = 0;
  bool ok = win32::Write(reinterpret_cast<HANDLE>(handle_), contents.data(),
                         static_cast<DWORD>(contents.size()), &written) &&
            written == contents.size();
  if (!ok) Fail();
  // Windows writes an append whole or not at all.
  if (ok) return AppendResult::kAppended;
  return written == 0 ? AppendResult::kNothingWritten : AppendResult::kCutShort;
}

AppendResult AppendToFile(const std::string& path, std::string_view contents) {
  AppendingFile file;
  return file.Open(path) ? file.Append(contents) : AppendResult::kNothingWritten;
}

bool ReplaceWithBackup(const std::string& replacement, const std::string& target,
                       const std::string& backup) {
  std::string r = NativePath(replacement), t = NativePath(target), b = NativePath(backup);
  // The previous file is copied to the backup, never moved, so that the target
  // name is never missing; the rename over it is a single step. A reader that
  // holds the target open makes the rename wait for it (about a second at most).
  bool had_target = win32::Attributes(t.c_str()) != INVALID_FILE_ATTRIBUTES;
  bool backed_up = !had_target;
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (!backed_up) backed_up = win32::Copy(t.c_str(), b.c_str()) != 0;
    if (backed_up &&
        win32::Move(r.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      // A file replaced keeps the letter case it was found under; a rename
      // of the file to itself gives it the target's own spelling.
      WIN32_FIND_DATAA found;
      HANDLE h = win32::FindFirst(t.c_str(), &found);
      if (h != INVALID_HANDLE_VALUE) {
        win32::FindEnd(h);
        std::size_t cut = t.find_last_of('\\');
        std::string own = cut == std::string::npos ? t : t.substr(cut + 1);
        if (own != found.cFileName) {
          std::string now = t.substr(0, cut == std::string::npos ? 0 : cut + 1) + found.cFileName;
          win32::Move(now.c_str(), t.c_str(), 0);
        }
      }
      return true;
    }
    Fail();
    Sleep(attempt < 20 ? 1 : 5);
  }
  return false;
}

std::string SystemErrorText(int code) {
  if (code == kRefusedName) return kRefusedNameText;
  char* buffer = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text = n != 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

FolderTimes::FolderTimes(const std::string& folder) : folder_(folder) {}

FolderTimes::~FolderTimes() = default;

bool FolderTimes::Get(const std::string& name, FileTime& time) {
  return GetModifiedTime(JoinName(folder_, name), time);
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  RecordFile(path);
  HANDLE h = OpenShared(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

namespace {

// The name itself, not what a link or junction there points to.
HANDLE OpenTheName(const std::string& path, DWORD access) {
  return win32::Open(NativePath(path).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
}

// A link or junction, or a file with more than one name.
bool LinkOrSecondName(const BY_HANDLE_FILE_INFORMATION& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
         ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nNumberOfLinks > 1);
}

}  // namespace

bool IsLinkOrSecondName(const std::string& path) {
  HANDLE h = OpenTheName(path, FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION data{};
  const bool planted = win32::HandleInformation(h, &data) && LinkOrSecondName(data);
  win32::Close(h);  // only asked
  return planted;
}

bool InputFile::OpenOneName(const std::string& path) {
  Close();
  HANDLE h = OpenTheName(path, GENERIC_READ);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  BY_HANDLE_FILE_INFORMATION data{};
  if (!win32::HandleInformation(h, &data)) {
    Fail();
    win32::Close(h);  // only opened
    return false;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || LinkOrSecondName(data)) {
    win32::Close(h);  // only opened
    SetLastErrorCode(kRefusedName);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

long InputFile::Read(char* buffer, std::size_t size) {
  if (handle_ == -1) return -1;
  DWORD got = 0;
  DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!win32::Read(reinterpret_cast<HANDLE>(handle_), buffer, want, &got)) {
    Fail();
    return -1;
  }
  return static_cast<long>(got);
}

void InputFile::Close() {
  if (handle_ != -1) win32::Close(reinterpret_cast<HANDLE>(handle_));  // only read from
  handle_ = -1;
}

LockedFile::~LockedFile() { Close(); }

bool LockedFile::TryOpenLocked(const std::string& path) {
  // Kept open after Unlock: the lock is asked for again on the same handle.
  if (handle_ != -1 && !locked_ && path == path_) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (win32::Lock(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
      locked_ = true;
      return true;
    }
  }
  Close();
  busy_ = false;
  HANDLE h = OpenShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  if (!win32::Lock(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
    Fail();
    busy_ = GetLastError() == ERROR_LOCK_VIOLATION;
    win32::Close(h);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_ = path;
  locked_ = true;
  return true;
}

void LockedFile::Unlock() {
  if (!locked_) return;
  if (!win32::Unlock(reinterpret_cast<HANDLE>(handle_))) {
    Close();
    return;
  }
  locked_ = false;
}

bool LockedFile::ReadAll(std::string& contents) {
  contents.clear();
  if (!locked_) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  if (!win32::SeekToStart(h)) return Fail();
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!win32::Read(h, chunk, sizeof chunk, &got)) return Fail();
    if (got == 0) return true;
    contents.append(chunk, got);
  }
}

bool CanReadPastCaches(const std::string& path) { return FileExists(path); }

// Windows' client of a share gives up what it keeps of a file once another
// host opens it for writing (its opportunistic lock broken): nothing to drop.
bool LockedFile::DropCached() { return locked_; }

bool LockedFile::Rewrite(std::string_view contents) {
  if (!locked_) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  // The new bytes over the old, then the length cut.
  if (!win32::SeekToStart(h)) return Fail();
  if (!WriteAll(h, contents)) return false;
  // Once the new bytes stand, the new first line is in force: what stays of
  // a longer old text after it when the cut fails is never read.
  win32::Truncate(h);
  return true;
}

void LockedFile::Close() {
  if (handle_ != -1) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    // Closing releases the lock too; what Rewrite wrote stands either way.
    if (locked_) win32::Unlock(h);
    win32::Close(h);
  }
  handle_ = -1;
  locked_ = false;
}

}  // namespace platform
