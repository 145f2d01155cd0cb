#include <cerrno>
#include <map>

#include "platform/files.h"
#include "platform/folder_cache.h"
#include "platform/posix_calls.h"
#include "platform/posix_names.h"

namespace platform::folder_cache {
namespace {

// A folder's identity and times, as a later look compares them.
struct FolderStamp {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{}, changed{};
  bool operator==(const FolderStamp& o) const {
    return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

FolderStamp StampOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

struct Kept {
  Listing listing;
  unsigned request = 0;    // the request that last used it
  bool checkable = false;  // a later change to the folder would show in its stamp
  FolderStamp stamp;
};

// Each thread keeps its own cache, as each process does: answers handed out
// (references into a listing) stay valid while the thread that asked goes on,
// whatever other threads do.
thread_local std::map<std::string, Kept> g_listings;
// Paths as written to paths as found, until this thread changes something.
thread_local std::unordered_map<std::string, std::string> g_resolved;
thread_local unsigned g_request = 0;
FileTime (*g_clock)() = nullptr;

// Folder times this close to the moment of reading may yet be given to a
// later change, by a file system that keeps times in steps of a second or
// two, or by a clock that moves in ticks.
constexpr long long kTimeStepNanoseconds = 2'000'000'000LL;

long long Nanoseconds(const timespec& t) {
  return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

// Whether a listed entry is a folder: from the listing where the system says,
// otherwise (and for links) from the entry itself.
bool IsFolder(int dfd, const dirent* e) {
#ifdef _DIRENT_HAVE_D_TYPE
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
#endif
  struct stat st {};
  if (sys::Fstatat(dfd, e->d_name, &st) == 0) return S_ISDIR(st.st_mode);
  SetLastErrorCode(errno);  // counted as a failure, unless the entry just went
  return false;
}

void Read(const std::string& native, Kept& kept) {
  kept = Kept{};
  kept.request = g_request;
  Listing& listing = kept.listing;
  const long long read_at = static_cast<long long>(g_clock != nullptr ? g_clock() : FileTimeNow());
  DIR* dir = sys::OpenDir(native.c_str());
  if (dir == nullptr) {
    SetLastErrorCode(errno);
    return;
  }
  int dfd = dirfd(dir);
  struct stat folder_stat {};
  if (sys::Fstat(dfd, &folder_stat) == 0) {
    kept.stamp = StampOf(folder_stat);
    kept.checkable = Nanoseconds(folder_stat.st_mtim) < read_at - kTimeStepNanoseconds &&
                     Nanoseconds(folder_stat.st_ctim) < read_at - kTimeStepNanoseconds &&
                     !posix::NotKnownLocal(dfd);
    // A folder's size bounds its number of entries; reserving touches no memory.
    if (folder_stat.st_size > 0) {
      listing.entries.reserve(static_cast<std::size_t>(folder_stat.st_size) / 16 + 16);
    }
  }
  listing.ok = true;
  for (;;) {
    errno = 0;
    dirent* e = sys::ReadDir(dir);
    if (e == nullptr) {
      if (errno != 0) {
        // Part of a listing would tell of names that are there as missing.
        SetLastErrorCode(errno);
        listing = Listing{};
        kept.checkable = false;
      }
      break;
    }
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    std::uint32_t attributes = IsFolder(dfd, e) ? kAttrDirectory : kAttrArchive;
    if (name[0] == '.') attributes |= kAttrHidden;
    listing.entries.push_back(DirEntry{std::string(name), attributes});
  }
  sys::CloseDir(dir);  // only read from
}

// Whether a listing kept from an earlier request still tells what the folder holds.
bool StillCurrent(const std::string& native, const Kept& kept) {
  if (!kept.checkable) return false;
  struct stat st {};
  return sys::Stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && StampOf(st) == kept.stamp;
}

}  // namespace

bool Lexists(const std::string& native) {
  struct stat st {};
  return sys::Lstat(native.c_str(), &st) == 0;
}

Listing& List(const std::string& native) {
  auto [it, inserted] = g_listings.try_emplace(native);
  Kept& kept = it->second;
  if (inserted) {
    Read(native, kept);
  } else if (kept.request != g_request) {
    if (StillCurrent(native, kept)) {
      kept.request = g_request;
    } else {
      Read(native, kept);
    }
  }
  return kept.listing;
}

const std::string* CaselessName(const std::string& folder, const std::string& part) {
  Listing& listing = List(folder);
  if (!listing.indexed) {
    listing.by_upper.reserve(listing.entries.size());
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
      listing.by_upper.emplace(UpperAscii(listing.entries[i].name), i);
    }
    listing.indexed = true;
  }
  auto hit = listing.by_upper.find(UpperAscii(part));
  return hit == listing.by_upper.end() ? nullptr : &listing.entries[hit->second].name;
}

std::string ResolveCase(const std::string& s) {
  if (s == "/" || s == ".") return s;
  auto known = g_resolved.find(s);
  if (known != g_resolved.end()) return known->second;
  std::size_t cut = s.find_last_of('/');
  std::string part = cut == std::string::npos ? s : s.substr(cut + 1);
  std::string parent;
  if (cut == std::string::npos) {
    parent = ".";
  } else if (cut == 0) {
    parent = "/";
  } else {
    parent = ResolveCase(s.substr(0, cut));
  }
  std::string prefix =
      parent == "." && cut == std::string::npos ? "" : (parent == "/" ? "/" : parent + "/");
  std::string joined = prefix + part;
  if (!part.empty() && part != "." && part != ".." && !Lexists(joined)) {
    if (const std::string* real = CaselessName(parent, part)) joined = prefix + *real;
  }
  g_resolved.emplace(s, joined);
  return joined;
}

std::string WithKnownFolder(const std::string& plain) {
  std::size_t cut = plain.find_last_of('/');
  if (cut == std::string::npos || cut == 0) return plain;
  std::string folder = plain.substr(0, cut);
  auto known = g_resolved.find(folder);
  if (known == g_resolved.end() || known->second == folder) return plain;
  return known->second + plain.substr(cut);
}

std::string ParentFolder(const std::string& native) {
  std::size_t cut = native.find_last_of('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string("/") : native.substr(0, cut);
}

void Forget(const std::string& native) {
  g_resolved.clear();
  g_listings.erase(native);
  g_listings.erase(ParentFolder(native));
}

void ForgetAll() {
  g_listings.clear();
  g_resolved.clear();
}

void BeginRequest() {
  ++g_request;
  g_resolved.clear();
}

void SetClockForTests(FileTime (*now)()) { g_clock = now; }

}  // namespace platform::folder_cache
