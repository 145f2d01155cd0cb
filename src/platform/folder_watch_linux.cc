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
#include <vector>

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
// Notices about the folder itself: it went, moved, or its file system did.
constexpr std::uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

struct Watched {
  bool every_name = false;
  std::vector<std::string> names;  // upper case
};

}  // namespace

struct FolderWatch::State {
  int fd = -1;
  std::unordered_map<int, Watched> watched;
  bool changed = false;

  ~State() {
    if (fd >= 0) close(fd);
  }

  // Watches `folder` for every name (`name` empty) or for `name` only.
  bool Add(const std::string& folder, const std::string& name) {
    if (fd < 0) return false;
    int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return false;
    bool shared = posix::OnSharedFileSystem(dfd);
    close(dfd);
    if (shared) return false;
    int wd = inotify_add_watch(fd, folder.c_str(), name.empty() ? kFolderMask : kWayMask);
    if (wd < 0) return false;
    Watched& w = watched[wd];
    if (name.empty()) {
      w.every_name = true;
    } else {
      w.names.push_back(UpperAscii(name));
    }
    return true;
  }

  // The way to `native` (an absolute path in "/" form), folder by folder,
  // and the folder itself when it is one.
  bool AddWay(const std::string& native) {
    std::string folder = "/";
    std::size_t at = 1;
    while (at <= native.size()) {
      std::size_t end = native.find('/', at);
      if (end == std::string::npos) end = native.size();
      std::string name = native.substr(at, end - at);
      at = end + 1;
      if (name.empty() || name == ".") continue;
      if (!Add(folder, name)) return false;
      std::string next = folder == "/" ? "/" + name : folder + "/" + name;
      struct stat st {};
      if (stat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;  // seen from above
      folder = next;
    }
    return Add(folder, "");
  }
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) { Restart(); }

FolderWatch::~FolderWatch() = default;

void FolderWatch::Restart() {
  state_ = std::make_unique<State>();
  state_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

bool FolderWatch::Watch(const std::string& path) {
  std::string native = folder_cache::ResolveCase(posix::PlainPath(path));
  if (native.empty() || native[0] != '/') {
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) return false;
    native = std::string(here) + "/" + native;
  }
  if (!state_->AddWay(native)) return false;
  // A link on the way: its target's way too, which the names above do not show.
  char real[PATH_MAX];
  if (realpath(native.c_str(), real) != nullptr && native != real) return state_->AddWay(real);
  return true;
}

bool FolderWatch::Unchanged() {
  State& s = *state_;
  if (s.fd < 0) return false;
  alignas(inotify_event) char buffer[16384];
  while (!s.changed) {
    ssize_t n = read(s.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: nothing more has come
    for (ssize_t at = 0; at < n && !s.changed;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if ((e->mask & IN_Q_OVERFLOW) != 0 || (e->mask & kSelfGone) != 0) {
        s.changed = true;
        break;
      }
      auto w = s.watched.find(e->wd);
      if (w == s.watched.end()) continue;
      if (w->second.every_name) {
        s.changed = true;
      } else if (e->len > 0) {
        std::string name = UpperAscii(std::string(e->name));
        for (const std::string& watched : w->second.names) {
          if (watched == name) s.changed = true;
        }
      }
    }
  }
  return !s.changed;
}

}  // namespace platform
