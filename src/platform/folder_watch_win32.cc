// Change notices on Windows: a ReadDirectoryChangesW read kept pending on
// each watched folder (opened so that nobody is kept from renaming or
// removing it). A folder counts every notice about it, or only those about
// the names on the way that it was asked to watch, or (the folder whose
// names are kept) hands each notice on.
#include <windows.h>

#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/names.h"

namespace platform {

namespace {

constexpr DWORD kWayFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                             FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY;
constexpr DWORD kFolderFilter = kWayFilter | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;
constexpr DWORD kNamesFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Join(const std::string& folder, const std::string& name) {
  return IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// The root ("C:\\") of the volume that `native`, or the nearest folder
// above it that is there, lies on once links and junctions are followed;
// `root` where that cannot be told, or the way ends on a share (then "").
std::string FinalRoot(std::string native, const std::string& root) {
  for (;;) {
    HANDLE h =
        CreateFileA(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      char final_path[MAX_PATH * 2];
      DWORD n = GetFinalPathNameByHandleA(h, final_path, sizeof final_path, FILE_NAME_NORMALIZED);
      CloseHandle(h);
      if (n == 0 || n >= sizeof final_path) return root;
      std::string path(final_path, n);
      if (path.rfind("\\\\?\\UNC\\", 0) == 0) return {};
      if (path.rfind("\\\\?\\", 0) == 0) path = path.substr(4);
      if (path.size() < 3 || path[1] != ':') return root;
      return path.substr(0, 2) + "\\";
    }
    std::size_t cut = native.find_last_of("\\/");
    if (cut == std::string::npos || cut <= 2) return root;
    native.resize(cut);
  }
}

// The name a notice is about, in the code page the file service uses.
std::string NoticeName(const FILE_NOTIFY_INFORMATION& n) {
  int chars = static_cast<int>(n.FileNameLength / sizeof(WCHAR));
  int length = WideCharToMultiByte(CP_ACP, 0, n.FileName, chars, nullptr, 0, nullptr, nullptr);
  std::string name(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, n.FileName, chars, name.data(), length, nullptr, nullptr);
  return name;
}

// Each notice in a buffer of `size` bytes, handed to `take` until it
// returns false.
template <typename Take>
bool EachNotice(const char* buffer, DWORD size, Take take) {
  for (DWORD at = 0; at < size;) {
    const auto* n = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + at);
    if (!take(*n)) return false;
    if (n->NextEntryOffset == 0) break;
    at += n->NextEntryOffset;
  }
  return true;
}

struct Watched {
  std::string folder;
  HANDLE handle = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  DWORD filter = kWayFilter;
  bool every_name = false;
  bool names_kept = false;
  std::vector<std::string> names;  // on the way: the next names (long and short), upper case
  bool pending = false;            // a read is under way, to be ended before the handle closes
  alignas(DWORD) char buffer[16384];

  Watched() = default;
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  ~Watched() {
    if (handle != INVALID_HANDLE_VALUE) {
      Disarm();
      CloseHandle(handle);
    }
    if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  }

  // A read started; one that fails at once leaves nothing under way.
  bool Arm() {
    pending = ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE, filter, nullptr,
                                    &overlapped, nullptr) != FALSE;
    return pending;
  }

  // The read under way, if any, cancelled and waited out.
  void Disarm() {
    if (!pending) return;
    CancelIoEx(handle, &overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
    pending = false;
  }

  // Whether the notices in the buffer (`size` bytes) touch what is watched.
  bool Touched(DWORD size) const {
    if (size == 0) return true;  // more came than the buffer held: some were lost
    if (every_name) {
      return !EachNotice(buffer, size,
                         [this](const FILE_NOTIFY_INFORMATION& n) { return IsFolderTimeOnly(n); });
    }
    return !EachNotice(buffer, size, [this](const FILE_NOTIFY_INFORMATION& n) {
      std::string name = UpperAscii(NoticeName(n));
      for (const std::string& watched : names) {
        if (watched == name) return false;
      }
      return true;
    });
  }

  // Whether a notice says only that a folder in the watched one had its
  // last-write time moved, as every change of that folder's own entries
  // moves it (Statistics\ at every visit): what matters of a folder within
  // is its name, which comes as a notice of its own, and its entries are
  // watched where they matter. The name may come in its short (8.3) form;
  // the system finds the folder by either.
  bool IsFolderTimeOnly(const FILE_NOTIFY_INFORMATION& n) const {
    if (n.Action != FILE_ACTION_MODIFIED) return false;
    std::string path =
        IsSeparator(folder.back()) ? folder + NoticeName(n) : folder + "\\" + NoticeName(n);
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  }
};

// The short (8.3) form of the last name of `path`, upper case; empty when
// it has none of its own.
std::string ShortName(const std::string& path, const std::string& name) {
  char buffer[MAX_PATH * 2];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  std::string shortened(buffer, length);
  std::size_t cut = shortened.find_last_of("\\/");
  std::string last = UpperAscii(cut == std::string::npos ? shortened : shortened.substr(cut + 1));
  return last == UpperAscii(name) ? std::string() : last;
}

// Whether the volume of `root` ("C:\\") is one whose notices are whole:
// local NTFS or ReFS.
bool LocalNoticesWhole(const std::string& root) {
  if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) return false;
  char file_system[MAX_PATH + 1] = {};
  if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, file_system,
                             sizeof file_system)) {
    return false;
  }
  std::string name = UpperAscii(file_system);
  return name == "NTFS" || name == "REFS";
}

// Folders watched together.
struct WatchSet {
  std::vector<std::unique_ptr<Watched>> watched;
  bool changed = false;

  // `folder` for `name` on the way, or whole (`name` empty); with
  // `names_kept`, for its names only, each notice handed on.
  bool Add(const std::string& folder, const std::string& name, bool names_kept = false) {
    for (auto& w : watched) {
      if (names_kept || w->names_kept || UpperAscii(w->folder) != UpperAscii(folder)) continue;
      if (!name.empty()) {
        w->names.push_back(UpperAscii(name));
        std::string short_name = ShortName(Join(folder, name), name);
        if (!short_name.empty()) w->names.push_back(short_name);
        return true;
      }
      w->every_name = true;
      if (w->filter == kFolderFilter) return true;
      // A wider filter takes a new read.
      w->Disarm();
      w->filter = kFolderFilter;
      ResetEvent(w->overlapped.hEvent);
      return w->Arm() != FALSE;
    }
    auto w = std::make_unique<Watched>();
    w->folder = folder;
    w->handle = CreateFileA(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (w->handle == INVALID_HANDLE_VALUE) return false;
    w->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (w->overlapped.hEvent == nullptr) return false;
    w->names_kept = names_kept;
    w->every_name = !names_kept && name.empty();
    w->filter = names_kept ? kNamesFilter : name.empty() ? kFolderFilter : kWayFilter;
    if (!name.empty()) w->names.push_back(UpperAscii(name));
    if (!name.empty()) {
      std::string short_name = ShortName(Join(folder, name), name);
      if (!short_name.empty()) w->names.push_back(short_name);
    }
    if (!w->Arm()) return false;
    watched.push_back(std::move(w));
    return true;
  }

  // The way to `path` and the folder itself, whole or (`names_kept`) for
  // its names; false where notices cannot be trusted.
  bool AddWay(const std::string& path, bool names_kept) {
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return false;
    std::string native(full, length);
    while (native.size() > 3 && IsSeparator(native.back())) native.pop_back();
    // Shares and remote drives report what this host did, not what others
    // did; other file systems may not report at all. Where links or
    // junctions lead elsewhere, the volume they lead to is the one judged.
    if (native.size() < 3 || native[1] != ':' || !IsSeparator(native[2])) return false;
    std::string root = native.substr(0, 3);
    if (!LocalNoticesWhole(root)) return false;
    std::string final_root = FinalRoot(native, root);
    if (final_root.empty() || !LocalNoticesWhole(final_root)) return false;

    std::string folder = root;
    std::size_t at = 3;
    while (at <= native.size()) {
      std::size_t end = native.find_first_of("\\/", at);
      if (end == std::string::npos) end = native.size();
      std::string name = native.substr(at, end - at);
      at = end + 1;
      if (name.empty()) continue;
      if (!Add(folder, name)) return false;
      std::string next = IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
      DWORD attributes = GetFileAttributesA(next.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return !names_kept;  // seen from above; names are kept only of a folder there
      }
      folder = next;
    }
    return Add(folder, "", names_kept);
  }

  // Reads what has come: a notice about the way or a whole folder marks a
  // change; those of the folder whose names are kept go to `names`, which
  // returns false where they cannot be followed.
  template <typename Names>
  void Drain(Names names) {
    for (auto& w : watched) {
      while (!changed) {
        DWORD size = 0;
        if (!w->pending) {
          changed = true;  // no read under way: nothing would be told
          break;
        }
        if (!GetOverlappedResult(w->handle, &w->overlapped, &size, FALSE)) {
          if (GetLastError() != ERROR_IO_INCOMPLETE) changed = true;  // the folder went
          break;
        }
        if (w->names_kept ? size == 0 || !names(w->buffer, size) : w->Touched(size)) {
          changed = true;
        }
        ResetEvent(w->overlapped.hEvent);
        if (!w->Arm()) changed = true;
      }
      if (changed) break;
    }
  }
};

}  // namespace

struct FolderWatch::State {
  WatchSet set;
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::Restart() { state_ = std::make_unique<State>(); }

bool FolderWatch::Watch(const std::string& path) { return state_->set.AddWay(path, false); }

// Windows watches the file through its folder, as every other: a change
// made through a name in another folder may come with no notice here.
bool FolderWatch::WatchFile(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\");
  return Watch(cut == std::string::npos ? "." : path.substr(0, cut + 1));
}

bool FolderWatch::Unchanged() {
  state_->set.Drain([](const char*, DWORD) { return false; });
  return !state_->set.changed;
}

struct KeptNames::State {
  std::unique_ptr<WatchSet> set;  // none: the names are listed anew
  std::string folder_and_pattern;
  std::unordered_set<std::string> names;
};

KeptNames::KeptNames() : state_(std::make_unique<State>()) {}

KeptNames::~KeptNames() = default;

void KeptNames::Visit(const std::string& folder_and_pattern,
                      const std::function<void(std::string_view)>& visit) {
  State& s = *state_;
  std::size_t cut = folder_and_pattern.find_last_of("/\\");
  const WildcardPattern pattern(cut == std::string::npos
                                    ? std::string_view(folder_and_pattern)
                                    : std::string_view(folder_and_pattern).substr(cut + 1));
  if (s.set != nullptr && s.folder_and_pattern == folder_and_pattern) {
    s.set->Drain([&](const char* buffer, DWORD size) {
      return EachNotice(buffer, size, [&](const FILE_NOTIFY_INFORMATION& n) {
        std::string name = NoticeName(n);
        if (!pattern.Matches(name)) return true;
        if (n.Action == FILE_ACTION_ADDED || n.Action == FILE_ACTION_RENAMED_NEW_NAME) {
          s.names.insert(name);
        } else if (n.Action == FILE_ACTION_REMOVED || n.Action == FILE_ACTION_RENAMED_OLD_NAME) {
          s.names.erase(name);
        }
        return true;
      });
    });
    if (s.set->changed) s.set.reset();
  } else {
    s.set.reset();
  }
  if (s.set == nullptr) {
    // Watched first, then listed: a name made meanwhile comes as a notice too.
    s.set = std::make_unique<WatchSet>();
    s.folder_and_pattern = folder_and_pattern;
    s.names.clear();
    std::string folder = cut == std::string::npos ? "." : folder_and_pattern.substr(0, cut + 1);
    bool watched = s.set->AddWay(folder, true);
    VisitNamesOnce(folder_and_pattern, [&s](std::string_view name) { s.names.emplace(name); });
    for (const std::string& name : s.names) visit(name);
    if (!watched) s.set.reset();  // the next call lists the folder again
    return;
  }
  for (const std::string& name : s.names) visit(name);
}

void KeptNames::VisitAsBrought(const std::string& folder_and_pattern, const std::string&,
                               const std::function<void(std::string_view)>& visit) {
  Visit(folder_and_pattern, visit);
}

// Windows tells of a file replaced under its name as of any other change:
// no file is vouched for, and each is opened anew.
std::vector<bool> KeptNames::NamesStand(const std::string&, const std::vector<std::string>& names) {
  return std::vector<bool>(names.size(), false);
}

}  // namespace platform
