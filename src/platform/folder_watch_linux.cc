// Change notices on Linux: one inotify instance per set of watches, and the
// mount table's notice (a mount raises no inotify notice, so any mount or
// unmount counts as a change). Each watched folder (an inode; the same
// folder reached twice is one watch) either counts every notice about it,
// or only those about the names on the way that it was asked to watch.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/messages.h"
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
// What changes one file, whatever name it is changed through.
constexpr std::uint32_t kFileMask =
    IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_MASK_ADD;
// Notices about the folder itself: it went, moved, or its file system did.
constexpr std::uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
// Links followed on one way at most, as the system itself follows them.
constexpr int kMaxLinks = 40;

enum class Kind { kWay, kFolder, kNames, kFile };

struct Watched {
  bool every_name = false;         // a folder (or a file) watched whole
  bool names_kept = false;         // the folder whose names are kept
  std::vector<std::string> names;  // on the way: the next names, upper case
};

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ParentOf(const std::string& folder) {
  std::size_t cut = folder.find_last_of('/');
  return cut == 0 || cut == std::string::npos ? "/" : folder.substr(0, cut);
}

// The name in `folder` that `name` finds as the file service finds it: the
// name as written when it is there, else the one that differs only in
// letter case, read from the folder now (never from a listing kept from
// before its watch was set); `name` itself when there is none.
std::string NameFound(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (lstat(Join(folder, name).c_str(), &st) == 0) return name;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string upper = UpperAscii(name), found = name;
  for (dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    if (UpperAscii(std::string(e->d_name)) == upper) {
      found = e->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

// The components of a path in "/" form, in order.
std::deque<std::string> Components(const std::string& path) {
  std::deque<std::string> parts;
  for (std::size_t at = 0; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// The process's mount table, whose notice tells of any mount or unmount.
class MountTable {
 public:
  MountTable() : fd_(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}
  ~MountTable() {
    if (fd_ >= 0) close(fd_);
  }
  MountTable(const MountTable&) = delete;
  MountTable& operator=(const MountTable&) = delete;
  bool Known() const { return fd_ >= 0; }
  // Whether the table changed since the last look (each look takes the notice).
  bool Changed() {
    pollfd p = Asked();
    return fd_ < 0 || (poll(&p, 1, 0) > 0 && Told(p));
  }
  // What to hand poll() to look, with other descriptors, and whether its
  // answer tells of a change.
  pollfd Asked() const { return pollfd{fd_, POLLPRI, 0}; }
  static bool Told(const pollfd& p) { return (p.revents & (POLLPRI | POLLERR)) != 0; }

 private:
  int fd_;
};

// One inotify instance and what each of its watches stands for.
class WatchSet {
 public:
  // `unwatched` ends the line the operator gets, once per folder, where the
  // folder's file system gives no notices to trust: what is done instead.
  // Without it the caller tells.
  explicit WatchSet(const char* unwatched = nullptr)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), unwatched_(unwatched) {}
  ~WatchSet() {
    if (fd_ >= 0) close(fd_);
  }
  WatchSet(const WatchSet&) = delete;
  WatchSet& operator=(const WatchSet&) = delete;

  // Every watch removed and what was queued for them dropped: the instance
  // is kept (a process has a limited number of them, and the kernel frees
  // one only a while after it is closed). Mounts are watched from now on.
  void Clear() {
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    mounts_.Changed();
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
    if (!mounts_.Known()) return false;
    std::string native = posix::PlainPath(path);
    if (native.empty() || native[0] != '/') {
      char here[PATH_MAX];
      if (getcwd(here, sizeof here) == nullptr) return false;
      native = std::string(here) + "/" + native;
    }
    asked_ = native;
    return AddWay(native, kind);
  }

  // Reads what has come, handing each notice to `take` (which returns false
  // to stop reading); false when notices were lost or cannot be read, or a
  // mount or unmount happened.
  // One look at both the queue and the mount table tells, at most requests,
  // that nothing came; a read that leaves room for another notice took all
  // there was.
  template <typename Take>
  bool Read(Take take) {
    if (fd_ < 0 || !mounts_.Known()) return false;
    pollfd asked[2] = {{fd_, POLLIN, 0}, mounts_.Asked()};
    int ready = poll(asked, 2, 0);
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && MountTable::Told(asked[1])) return false;
    if (ready == 0) return true;
    alignas(inotify_event) char buffer[16384];
    constexpr auto kRoomForOne = static_cast<ssize_t>(sizeof(inotify_event) + NAME_MAX + 1);
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
      if (n <= static_cast<ssize_t>(sizeof buffer) - kRoomForOne) return true;
    }
  }

 private:
  // A watch on `target` (a folder, or a file for kFile) as `kind`; on the
  // way, for the next name `name`.
  bool Add(const std::string& target, const std::string& name, Kind kind) {
    if (fd_ < 0) return false;
    if (posix::NotKnownLocal(target)) {
      if (unwatched_ != nullptr) TellOnce(asked_, unwatched_);
      return false;
    }
    std::uint32_t mask = kind == Kind::kWay      ? kWayMask
                         : kind == Kind::kFolder ? kFolderMask
                         : kind == Kind::kNames  ? kNamesMask
                                                 : kFileMask;
    int wd = inotify_add_watch(fd_, target.c_str(), mask | IN_DONT_FOLLOW);
    if (wd < 0) return false;
    Watched& w = watched_[wd];
    if (kind == Kind::kFolder || kind == Kind::kFile) w.every_name = true;
    if (kind == Kind::kNames) w.names_kept = true;
    if (kind == Kind::kWay) w.names.push_back(UpperAscii(name));
    return true;
  }

  // The way to `native` (an absolute path in "/" form), folder by folder
  // from the root, each watched for its next name before that name is
  // looked up, so that a name made or renamed meanwhile is seen; then the
  // folder itself as `kind`. A link on the way is followed as the system
  // follows it, and the way to its target watched too, up to the nearest
  // folder that is there (a target that is not there yet is seen when it
  // comes). A way that ends at a file (a link's target) has its folder
  // watched whole, and the file itself.
  bool AddWay(const std::string& native, Kind kind) {
    std::deque<std::string> parts = Components(native);
    std::string folder = "/";
    int links = 0;
    while (!parts.empty()) {
      std::string name = parts.front();
      parts.pop_front();
      if (name == ".") continue;
      if (name == "..") {
        folder = ParentOf(folder);
        continue;
      }
      if (!Add(folder, name, Kind::kWay)) return false;
      name = NameFound(folder, name);
      std::string next = Join(folder, name);
      struct stat st {};
      if (lstat(next.c_str(), &st) != 0) return true;  // seen from above when it comes
      if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        ssize_t n = readlink(next.c_str(), target, sizeof target);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof target) || ++links > kMaxLinks) {
          return false;
        }
        std::deque<std::string> through = Components(std::string(target, n));
        parts.insert(parts.begin(), through.begin(), through.end());
        if (target[0] == '/') folder.assign(1, '/');
        continue;
      }
      if (!S_ISDIR(st.st_mode)) {
        // A file: where a link led to one, its folder and the file itself.
        if (kind != Kind::kFile) return kind != Kind::kNames;
        return Add(folder, "", Kind::kFolder) && Add(next, "", Kind::kFile);
      }
      folder = next;
    }
    if (kind == Kind::kFile) return Add(folder, "", Kind::kFolder);
    return Add(folder, "", kind) && (kind != Kind::kFolder || AddEntries(folder));
  }

  // What a folder's own notices do not show of its entries: a link's
  // target, changed where it lies, which gets a watch of its own. (A file
  // with other names, changed through one of them, is watched as the
  // caller asks: the caller knows which it read.) The listing tells which
  // entries are links; only where it does not is an entry looked at.
  bool AddEntries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool all = true;
    int dfd = dirfd(dir);
    errno = 0;
    for (dirent* e = readdir(dir); e != nullptr && all; e = readdir(dir)) {
      std::string_view name(e->d_name);
      if (name == "." || name == ".." || e->d_type == DT_DIR || e->d_type == DT_REG) continue;
      bool link = e->d_type == DT_LNK;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          all = errno == ENOENT;  // gone meanwhile: its folder's notice tells
          continue;
        }
        link = S_ISLNK(st.st_mode);
      }
      if (link) all = AddWay(Join(folder, e->d_name), Kind::kFile);
      errno = 0;
    }
    if (errno != 0) all = false;
    closedir(dir);
    return all;
  }

  // The operator hears once of each folder whose file system gives no
  // notices to trust.
  static void TellOnce(const std::string& folder, const char* instead) {
    static std::set<std::string> told;
    if (!told.insert(folder).second) return;
    OperatorMessage(folder +
                    " is on a file system whose changes may come with no notice here: " + instead);
  }

  int fd_;
  const char* unwatched_;
  std::string asked_;  // the folder Watch() was asked for, as the operator is told of it
  MountTable mounts_;
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

bool FolderWatch::WatchFile(const std::string& path) {
  return state_->set.Watch(path, Kind::kFile);
}

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
  WatchSet set{"its names are listed anew for every request"};
  bool watched = false;  // the names follow the notices; otherwise they are listed anew
  std::string folder_and_pattern;
  std::unordered_set<std::string> names;
  // Names asked of by NameStands (upper case), and those of them made,
  // removed or renamed since they were last asked of.
  std::unordered_set<std::string> followed, touched;

  // The names brought up to date from the notices, or listed anew; false
  // when they were listed anew.
  bool Bring(const std::string& asked) {
    std::size_t cut = asked.find_last_of("/\\");
    const WildcardPattern pattern(cut == std::string::npos
                                      ? std::string_view(asked)
                                      : std::string_view(asked).substr(cut + 1));
    bool kept = watched && folder_and_pattern == asked;
    if (kept) {
      kept = set.Read([&](const inotify_event& e, const Watched& w) {
        if (!w.names_kept || (e.mask & kSelfGone) != 0) {
          if (Touches(e, w)) kept = false;  // the folder, or the way to it, changed
          return kept;
        }
        if (e.len == 0) return true;
        std::string name(e.name);
        if (!followed.empty()) {
          std::string upper = UpperAscii(name);
          if (followed.count(upper) != 0) touched.insert(upper);
        }
        if (!pattern.Matches(name)) return true;
        if ((e.mask & (IN_CREATE | IN_MOVED_TO)) != 0) names.insert(name);
        if ((e.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) names.erase(name);
        return true;
      }) && kept;
    }
    if (kept) return true;
    // Watched first, then listed: a name made meanwhile comes as a notice too.
    set.Clear();
    folder_and_pattern = asked;
    names.clear();
    followed.clear();
    touched.clear();
    std::string folder = cut == std::string::npos ? "." : asked.substr(0, cut + 1);
    watched = set.Watch(folder, Kind::kNames);
    VisitNamesOnce(asked, [this](std::string_view name) { names.emplace(name); });
    return false;
  }
};

KeptNames::KeptNames() : state_(std::make_unique<State>()) {}

KeptNames::~KeptNames() = default;

void KeptNames::Visit(const std::string& folder_and_pattern,
                      const std::function<void(std::string_view)>& visit) {
  state_->Bring(folder_and_pattern);
  for (const std::string& name : state_->names) visit(name);
}

void KeptNames::VisitAsBrought(const std::string& folder_and_pattern, const std::string& removed,
                               const std::function<void(std::string_view)>& visit) {
  State& s = *state_;
  if (!s.watched || s.folder_and_pattern != folder_and_pattern) {
    Visit(folder_and_pattern, visit);
    return;
  }
  s.names.erase(removed);
  for (const std::string& name : s.names) visit(name);
}

std::vector<bool> KeptNames::NamesStand(const std::string& folder_and_pattern,
                                        const std::vector<std::string>& names) {
  State& s = *state_;
  const bool kept = s.Bring(folder_and_pattern) && s.watched;
  std::vector<bool> stand;
  for (const std::string& name : names) {
    std::string upper = UpperAscii(name);
    bool followed = !s.followed.insert(upper).second;
    stand.push_back(s.touched.erase(upper) == 0 && kept && followed);
  }
  return stand;
}

}  // namespace platform
