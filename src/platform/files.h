// The file system with Windows semantics on every platform.
//
// Paths are written as the program writes them: "\" and "/" both separate
// folders, and names resolve without regard to letter case, one folder at a
// time, as on Windows. A path that starts with a single separator is rooted at
// the current drive; SetDriveRoot() puts that root elsewhere (tests, demos).
// Listings come in the order an NTFS folder lists them: by upper-case name,
// byte by byte. Every failing call leaves its system error in LastErrorCode().
//
// On POSIX systems folder listings and the real letter case of names are
// read once per request (per thread, where there are several) and kept until
// this process changes the folder: changes made by others after the first
// look are not seen by later calls of the same request. A listing is used in
// a later request only once the folder is shown unchanged since it was read
// (platform/folder_cache.h says how).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/names.h"

namespace platform {

constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrVolumeLabel = 0x08;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;

// A modification time at the system's full resolution; only compared.
using FileTime = std::int64_t;

// A new request begins: what the file service kept from earlier requests is
// looked at again before it is used (a no-op where nothing is kept).
void BeginRequest();

// The folder that stands for the drive root; empty means the real root.
void SetDriveRoot(const std::string& folder);
const std::string& DriveRoot();

// The name the operating system knows for `path`, after separators, the drive
// root and letter case have been resolved.
std::string NativePath(const std::string& path);
// `path` as an operator of this system writes it, for the lines the operator
// reads: the system's own separators (doubled ones made one), the drive root
// in front of a rooted path; letter case as written, nothing looked up.
std::string OperatorPath(const std::string& path);

// Every entry of the folder part of `folder_and_pattern` whose name matches its
// last part (like find-first/find-next with all attribute kinds). "." and ".."
// are left out. A missing folder gives no entries.
std::vector<DirEntry> FindFiles(const std::string& folder_and_pattern);

// The same entries, handed to `visit` one by one without being copied, until
// it returns false; in the order the system keeps them (NTFS order on
// Windows), which is cheaper where the order does not matter.
void VisitFiles(const std::string& folder_and_pattern,
                const std::function<bool(const DirEntry&)>& visit);

// Only the names of those entries, read from the system as it lists them and
// kept by nobody: for a large folder that changes with every request, whose
// listing would be read again the next time anyway. A folder that cannot be
// read, or whose reading fails, gives what was read before it failed.
void VisitNamesOnce(const std::string& folder_and_pattern,
                    const std::function<void(std::string_view)>& visit);

bool PathExists(const std::string& path);
// Whether `path` is a link (or junction) or a file with a second name (a
// hard link): a name through which a change would reach another file, as
// an account that may write the folder can put there. False for a name
// that is not there.
bool IsLinkOrSecondName(const std::string& path);
bool FileExists(const std::string& path);  // exists and is no folder
bool DirectoryExists(const std::string& path);
bool GetAttributes(const std::string& path, std::uint32_t& attributes);
// Only the read-only bit has an effect on POSIX (it clears the write bits).
bool SetAttributes(const std::string& path, std::uint32_t attributes);
bool GetModifiedTime(const std::string& path, FileTime& time);
// When `path` last got a name: a new file, or a new link to an old one (which
// keeps the old file's modification time). POSIX: the status-change time;
// Windows: the creation time.
bool GetNameTime(const std::string& path, FileTime& time);
bool SetModifiedTime(const std::string& path, FileTime time);
FileTime FileTimeFromUnixSeconds(std::int64_t seconds);
FileTime FileTimeNow();

bool CreateDirectories(const std::string& path);
// Replaces `to`. False when `from` still bears its name afterwards.
bool RenameFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

// Creates a new empty file in `folder` under a temporary name of this
// program's own form (TemporaryName in names.h, of the lower-case `kind`);
// `created` gets its path (in the caller's form).
bool CreateUniqueFile(const std::string& folder, const std::string& kind, std::string& created);

enum class CreateResult { kCreated, kExists, kFailed };
// Creates an empty file, failing with kExists when the name is taken.
CreateResult CreateNewFile(const std::string& path);

bool ReadWholeFile(const std::string& path, std::string& contents);
// The same through InputFile::OpenOneName.
bool ReadFileOfOneName(const std::string& path, std::string& contents);
// The error of a name InputFile::OpenOneName refused, and its text.
constexpr int kRefusedName = -2;
constexpr const char* kRefusedNameText = "a link, or a file with a second name: not followed";
// Creates or truncates `path` and writes `contents`; `durable` flushes the
// file to disk before it is closed.
bool WriteWholeFile(const std::string& path, std::string_view contents, bool durable = false);
// Creates `path` and writes `contents` through what it created: a name
// already taken (a file, a folder, a link, even one to nothing) is never
// opened, and gives kExists.
CreateResult WriteNewFile(const std::string& path, std::string_view contents, bool durable = false);

enum class AppendResult {
  kAppended,        // all of it, at the end of the file
  kNothingWritten,  // the file is as it was: trying again cannot double a line
  kCutShort,        // part of it stands in the file and could not be taken back
};
// Appends in one write to an existing file, so concurrent appends never mix.
AppendResult AppendToFile(const std::string& path, std::string_view contents);

// Puts the complete file `replacement` in place of `target` in one step; the
// previous `target`, when there was one, is kept as `backup`. The new file
// bears the target's name as written, even where the old one stood under
// another letter case (which goes once the new file is in place). On POSIX
// the folder is flushed to disk afterwards.
bool ReplaceWithBackup(const std::string& replacement, const std::string& target,
                       const std::string& backup);

int LastErrorCode();
// Notes the error of a call that failed; every failing call of the service
// goes through here.
void SetLastErrorCode(int code);
std::string SystemErrorText(int code);  // the system's own text, no trailing dot
// Whether `code` says only that a name is not there (nothing went wrong).
bool IsMissingNameError(int code);
// Whether `code` may come of another host's replacing the file at that name
// meanwhile (a missing name, or on a shared file system a handle gone
// stale): trying again finds the new file.
bool IsReplacedNameError(int code);

// Whether `path` lies on a file system that other hosts may share (any not
// known to be local): there, what this host keeps of a file in its caches
// may be older than what another host has written since, and a change comes
// with no notice here.
bool OnSharedFileSystem(const std::string& path);

// Whether `path` lies on a file system mounted (or a volume set) read-only:
// nothing can be made or written there, whatever the rights say.
bool OnReadOnlyFileSystem(const std::string& path);

// What a file or folder is as it stands: which one it is, its size and its
// times. Two stamps of one path are equal until it is changed, replaced or
// removed, or something is made, removed or renamed in it (a folder); on a
// shared file system as soon as its client sees the change (a close-to-open
// file system: at the latest when its attributes are looked up anew).
struct FileStamp {
  std::string native;  // the name as the system knows it, resolved once
  bool exists = false;
  std::uint64_t device = 0, file = 0, size = 0;
  std::int64_t modified = 0, changed = 0;
  bool operator==(const FileStamp& other) const;
};
// The stamp of `path` (written as the program writes paths) now; a name that
// is not there gives a stamp that says so.
FileStamp StampOf(const std::string& path);
// `stamp` read anew from its name.
void Restamp(FileStamp& stamp);
// Whether the name of `stamp` still stands as it stood then.
bool StillStands(const FileStamp& stamp);

// Calls that failed for another reason than a missing name, counted since
// the process began, with those its callers met themselves (CountFailure:
// memory that ran out midway). Whatever was made while the count moved may
// show less than there is.
unsigned long FailuresSoFar();
void CountFailure();

// The folders and files whose changes may change what was read. While
// recording, every path the service is handed is noted by the folder it lies
// in (the pattern of a listing lies in the folder listed), and every file
// whose contents or times were read by its own path, each once: by its key
// (FolderKey), with the path as first written.
// Of the files read, those with other names (hard links) are noted apart
// (POSIX): their folder's notices do not show a change made through another
// name.
struct Recorded {
  std::vector<std::pair<std::string, std::string>> folders, files, other_names;
};
void StartRecordingFolders();
Recorded StopRecordingFolders();
// One key for every way of writing a folder: "/" separators, none doubled
// or at the end, letters in upper case.
std::string FolderKey(std::string_view folder);
// The key of the folder `path` lies in ("." for a bare name).
std::string FolderKeyOf(std::string_view path);
// Notes the folder `path` lies in, while recording.
void RecordFolderOf(std::string_view path);
// Notes the file `path` itself, whose contents or times are read, while recording.
void RecordFile(std::string_view path);
// Whether recording is under way.
bool Recording();
// Notes a file read that has other names, while recording.
void RecordOtherNames(std::string_view path);

// Modification times of files in one folder, the folder opened once.
class FolderTimes {
 public:
  explicit FolderTimes(const std::string& folder);
  FolderTimes(const FolderTimes&) = delete;
  FolderTimes& operator=(const FolderTimes&) = delete;
  ~FolderTimes();
  // `name` as a listing of the folder gives it.
  bool Get(const std::string& name, FileTime& time);

 private:
  std::string folder_;
  std::intptr_t handle_ = -1;
};

// Whether what this host keeps of the file `path` can be dropped as
// LockedFile::DropCached drops it: tried on the file opened for reading only,
// never through a link, nothing made or written. False, with the error, when
// it cannot.
bool CanReadPastCaches(const std::string& path);

// A file opened for reading, closed by the destructor. A folder opens as
// well; reading it fails.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();
  bool Open(const std::string& path);
  // Opens only a file of one name: a link (or junction) at `path` is not
  // followed, and a file with a second name (a hard link) is refused, the
  // error then kRefusedName: for what an administrator's tool reads in a
  // folder another account may write.
  bool OpenOneName(const std::string& path);
  // Bytes read, 0 at end of file, -1 on error.
  long Read(char* buffer, std::size_t size);
  void Close();

 private:
  std::intptr_t handle_ = -1;
};

// A file held under an exclusive operating-system lock, for read-modify-write.
class LockedFile {
 public:
  LockedFile() = default;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();
  // Opens (creating when missing) and locks without waiting; false when busy
  // (Busy() tells) or when the file cannot be opened. A call for the file
  // still open (after a busy call, or after Unlock) asks again on it.
  bool TryOpenLocked(const std::string& path);
  bool Busy() const { return busy_; }
  // The lock let go, the file kept open for the next TryOpenLocked of it.
  void Unlock();
  bool ReadAll(std::string& contents);
  // Drops what this host keeps of the file's contents, so that the next
  // read comes from the file system itself (on a shared one, a client may
  // keep bytes that another host has replaced since). False when the system
  // could not drop them.
  bool DropCached();
  // The new contents written over the old in place, then the length cut.
  // True once the new bytes stand, even where the cut failed.
  bool Rewrite(std::string_view contents);
  void Close();

 private:
  std::intptr_t handle_ = -1;
  bool busy_ = false;
  bool locked_ = false;
  bool local_ = false;        // on a file system known to be local
  long long read_size_ = -1;  // what ReadAll read under this lock
  std::string path_;          // the file open, locked or not
};

// A file kept open for appending, each append as AppendToFile makes it.
class AppendingFile {
 public:
  AppendingFile() = default;
  AppendingFile(const AppendingFile&) = delete;
  AppendingFile& operator=(const AppendingFile&) = delete;
  ~AppendingFile();
  // Opens an existing file; false when it cannot be.
  bool Open(const std::string& path);
  bool IsOpenFor(const std::string& path) const { return handle_ != -1 && path == path_; }
  AppendResult Append(std::string_view contents);
  void Close();

 private:
  std::intptr_t handle_ = -1;
  std::string path_;
};

}  // namespace platform
