// Change notices on Linux: one inotify instance per set of watches. Each
// watched folder (an inode; the same folder reached twice is one watch)
// either counts every notice about it, or only those about the names on the
// way that it was asked to watch.
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/folder_cache.h"
#include "platform/folder_watch.h"
#include "platform/names.h"
#include "platform/posix_names.h"

namespace platform {

namespace {

// What changes a name on the way: made, removed, renamed, its rights.
constexpr std::uint32_t kWayMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// What changes a watched folder's entries, contents included.
constexpr std::uint32_t kFolderMask = kWayMask | IN_MODIFY | IN_CLOSE_WRITE;
// What changes a folder's names only.
constexpr std::uint32_t kNamesMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// Notices about the folder itself: it went, moved, or its file system did.
constexpr std::uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

enum class Kind { kWay, kFolder, kNames };

struct Watched {
  bool every_name = false;         // a folder watched whole
  bool names_kept = false;         // the folder whose names are kept
  std::vector<std::string> names;  // on the way: the next names, upper case
};

// One inotify instance and what each of its watches stands for.
class WatchSet {
 public:
  WatchSet() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~WatchSet() {
    if (fd_ >= 0) close(fd_);
  }
  WatchSet(const WatchSet&) = delete;
  WatchSet& operator=(const WatchSet&) = delete;

  // Every watch removed and what was queued for them dropped: the instance
  // is kept (a process has a limited number of them, and the kernel frees
  // one only a while after it is closed).
  void Clear() {
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    for (const auto& [wd, w] : watched_) inotify_rm_watch(fd_, wd);
    watched_.clear();
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
    }
  }

  // The way to `path` (the program's form) and the folder itself, watched as
  // `kind`; false where notices cannot be trusted.
  bool Watch(const std::string& path, Kind kind) {
    std::string native = folder_cache::ResolveCase(posix::PlainPath(path));
    if (native.empty() || native[0] != '/') {
      char here[PATH_MAX];
      if (getcwd(here, sizeof here) == nullptr) return false;
      native = std::string(here) + "/" + native;
    }
    if (!AddWay(native, kind)) return false;
    // A link on the way: its target's way too, which the names above do not show.
    char real[PATH_MAX];
    if (realpath(native.c_str(), real) != nullptr && native != real) return AddWay(real, kind);
    return true;
  }

  // Reads what has come, handing each notice to `take` (which returns false
  // to stop reading); false when notices were lost or cannot be read.
  template <typename Take>
  bool Read(Take take) {
    if (fd_ < 0) return false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return true;
      if (n <= 0) return false;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if ((e->mask & IN_Q_OVERFLOW) != 0) return false;
        auto w = watched_.find(e->wd);
        if (w == watched_.end()) continue;
        if (!take(*e, w->second)) return true;
      }
    }
  }

 private:
  bool Add(const std::string& folder, const std::string& name, Kind kind) {
    if (fd_ < 0) return false;
    int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return false;
    bool shared = posix::OnSharedFileSystem(dfd);
    close(dfd);
    if (shared) return false;
    std::uint32_t mask = kind == Kind::kWay      ? kWayMask
                         : kind == Kind::kFolder ? kFolderMask
                                                 : kNamesMask;
    int wd = inotify_add_watch(fd_, folder.c_str(), mask);
    if (wd < 0) return false;
    Watched& w = watched_[wd];
    if (kind == Kind::kFolder) w.every_name = true;
    if (kind == Kind::kNames) w.names_kept = true;
    if (kind == Kind::kWay) w.names.push_back(UpperAscii(name));
    return true;
  }

  // The way to `native` (an absolute path in "/" form), folder by folder,
  // and the folder itself when it is one.
  bool AddWay(const std::string& native, Kind kind) {
    std::string folder = "/";
    std::size_t at = 1;
    while (at <= native.size()) {
      std::size_t end = native.find('/', at);
      if (end == std::string::npos) end = native.size();
      std::string name = native.substr(at, end - at);
      at = end + 1;
      if (name.empty() || name == ".") continue;
      if (!Add(folder, name, Kind::kWay)) return false;
      std::string next = folder == "/" ? "/" + name : folder + "/" + name;
      struct stat st {};
      if (stat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return kind != Kind::kNames;  // seen from above; names are kept only of a folder there
      }
      folder = next;
    }
    return Add(folder, "", kind);
  }

  int fd_;
  std::unordered_map<int, Watched> watched_;
};

// Whether a notice changes what a watch on the way, or a whole folder, stands for.
bool Touches(const inotify_event& e, const Watched& w) {
  if ((e.mask & kSelfGone) != 0) return true;
  if (w.every_name) return true;
  if (e.len == 0) return false;
  std::string name = UpperAscii(std::string(e.name));
  for (const std::string& watched : w.names) {
    if (watched == name) return true;
  }
  return false;
}

}  // namespace

struct FolderWatch::State {
  WatchSet set;
  bool changed = false;
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::Restart() {
  state_->set.Clear();
  state_->changed = false;
}

bool FolderWatch::Watch(const std::string& path) { return state_->set.Watch(path, Kind::kFolder); }

bool FolderWatch::Unchanged() {
  State& s = *state_;
  if (s.changed) return false;
  bool read = s.set.Read([&s](const inotify_event& e, const Watched& w) {
    if (Touches(e, w)) s.changed = true;
    return !s.changed;
  });
  if (!read) s.changed = true;
  return !s.changed;
}

struct KeptNames::State {
  WatchSet set;
  bool watched = false;  // the names follow the notices; otherwise they are listed anew
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
  bool kept = s.watched && s.folder_and_pattern == folder_and_pattern;
  if (kept) {
    kept = s.set.Read([&](const inotify_event& e, const Watched& w) {
      if (!w.names_kept || (e.mask & kSelfGone) != 0) {
        if (Touches(e, w)) kept = false;  // the folder, or the way to it, changed
        return kept;
      }
      if (e.len == 0) return true;
      std::string name(e.name);
      if (!pattern.Matches(name)) return true;
      if ((e.mask & (IN_CREATE | IN_MOVED_TO)) != 0) s.names.insert(name);
      if ((e.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) s.names.erase(name);
      return true;
    }) && kept;
  }
  if (!kept) {
    // Watched first, then listed: a name made meanwhile comes as a notice too.
    s.set.Clear();
    s.folder_and_pattern = folder_and_pattern;
    s.names.clear();
    std::string folder = cut == std::string::npos ? "." : folder_and_pattern.substr(0, cut + 1);
    s.watched = s.set.Watch(folder, Kind::kNames);
    VisitNamesOnce(folder_and_pattern, [&s](std::string_view name) { s.names.emplace(name); });
  }
  for (const std::string& name : s.names) visit(name);
}

}  // namespace platform
