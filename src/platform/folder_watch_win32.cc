// Change notices on Windows: a ReadDirectoryChangesW read kept pending on
// each watched folder (opened so that nobody is kept from renaming or
// removing it). A folder either counts every notice about it, or only those
// about the names on the way that it was asked to watch.
#include <windows.h>

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

struct Watched {
  std::string folder;
  HANDLE handle = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  DWORD filter = kWayFilter;
  bool every_name = false;
  std::vector<std::string> names;  // upper case
  alignas(DWORD) char buffer[16384];

  Watched() = default;
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  ~Watched() {
    if (handle != INVALID_HANDLE_VALUE) {
      CancelIoEx(handle, &overlapped);
      DWORD ignored = 0;
      GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
      CloseHandle(handle);
    }
    if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  }

  bool Arm() {
    return ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE, filter, nullptr, &overlapped,
                                 nullptr) != FALSE;
  }

  // Whether a notice in the buffer (`size` bytes) touches what is watched.
  bool Touched(DWORD size) const {
    if (size == 0) return true;  // more came than the buffer held: some were lost
    if (every_name) return true;
    for (DWORD at = 0; at < size;) {
      const auto* n = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + at);
      int chars = static_cast<int>(n->FileNameLength / sizeof(WCHAR));
      int length = WideCharToMultiByte(CP_ACP, 0, n->FileName, chars, nullptr, 0, nullptr, nullptr);
      std::string name(static_cast<std::size_t>(length), '\0');
      WideCharToMultiByte(CP_ACP, 0, n->FileName, chars, name.data(), length, nullptr, nullptr);
      name = UpperAscii(name);
      for (const std::string& watched : names) {
        if (watched == name) return true;
      }
      if (n->NextEntryOffset == 0) break;
      at += n->NextEntryOffset;
    }
    return false;
  }
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

struct FolderWatch::State {
  std::vector<std::unique_ptr<Watched>> watched;
  bool changed = false;

  bool Add(const std::string& folder, const std::string& name) {
    for (auto& w : watched) {
      if (UpperAscii(w->folder) == UpperAscii(folder)) {
        if (name.empty()) {
          w->every_name = true;
          if (w->filter != kFolderFilter) {
            // A wider filter takes a new read.
            CancelIoEx(w->handle, &w->overlapped);
            DWORD ignored = 0;
            GetOverlappedResult(w->handle, &w->overlapped, &ignored, TRUE);
            w->filter = kFolderFilter;
            ResetEvent(w->overlapped.hEvent);
            if (!w->Arm()) return false;
          }
        } else {
          w->names.push_back(UpperAscii(name));
        }
        return true;
      }
    }
    auto w = std::make_unique<Watched>();
    w->folder = folder;
    w->handle = CreateFileA(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (w->handle == INVALID_HANDLE_VALUE) return false;
    w->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (w->overlapped.hEvent == nullptr) return false;
    w->every_name = name.empty();
    w->filter = name.empty() ? kFolderFilter : kWayFilter;
    if (!name.empty()) w->names.push_back(UpperAscii(name));
    if (!w->Arm()) return false;
    watched.push_back(std::move(w));
    return true;
  }
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::Restart() { state_ = std::make_unique<State>(); }

bool FolderWatch::Watch(const std::string& path) {
  char full[MAX_PATH * 2];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  std::string native(full, length);
  while (native.size() > 3 && IsSeparator(native.back())) native.pop_back();
  // Shares and remote drives report what this host did, not what others did.
  if (native.size() < 3 || native[1] != ':' || !IsSeparator(native[2])) return false;
  std::string root = native.substr(0, 3);
  if (GetDriveTypeA(root.c_str()) == DRIVE_REMOTE) return false;

  std::string folder = root;
  std::size_t at = 3;
  while (at <= native.size()) {
    std::size_t end = native.find_first_of("\\/", at);
    if (end == std::string::npos) end = native.size();
    std::string name = native.substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    if (!state_->Add(folder, name)) return false;
    std::string next = IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
    DWORD attributes = GetFileAttributesA(next.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return true;  // seen from above
    }
    folder = next;
  }
  return state_->Add(folder, "");
}

bool FolderWatch::Unchanged() {
  State& s = *state_;
  for (auto& w : s.watched) {
    while (!s.changed) {
      DWORD size = 0;
      if (!GetOverlappedResult(w->handle, &w->overlapped, &size, FALSE)) {
        if (GetLastError() != ERROR_IO_INCOMPLETE) s.changed = true;  // the folder went
        break;
      }
      if (w->Touched(size)) s.changed = true;
      ResetEvent(w->overlapped.hEvent);
      if (!w->Arm()) s.changed = true;
    }
    if (s.changed) break;
  }
  return !s.changed;
}

// Names are listed every time here.
struct KeptNames::State {};

KeptNames::KeptNames() : state_(std::make_unique<State>()) {}

KeptNames::~KeptNames() = default;

void KeptNames::Visit(const std::string& folder_and_pattern,
                      const std::function<void(std::string_view)>& visit) {
  VisitNamesOnce(folder_and_pattern, visit);
}

}  // namespace platform
