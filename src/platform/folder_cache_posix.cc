#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <map>

#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform::folder_cache {
namespace {

// Each thread keeps its own cache, as each process does: answers handed out
// (references into a listing) stay valid while the thread that asked goes on,
// whatever other threads do.
thread_local std::map<std::string, Listing> g_listings;
// Paths as written to paths as found, until this thread changes something.
thread_local std::unordered_map<std::string, std::string> g_resolved;

// Whether a listed entry is a folder: from the listing where the system says,
// otherwise (and for links) from the entry itself.
bool IsFolder(int dfd, const dirent* e) {
#ifdef _DIRENT_HAVE_D_TYPE
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
#endif
  struct stat st {};
  return fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool Lexists(const std::string& native) {
  struct stat st {};
  return lstat(native.c_str(), &st) == 0;
}

Listing& List(const std::string& native) {
  auto [it, inserted] = g_listings.try_emplace(native);
  Listing& listing = it->second;
  if (!inserted) return listing;
  DIR* dir = faults::Inject(faults::Op::kList) ? nullptr : opendir(native.c_str());
  if (dir == nullptr) {
    SetLastErrorCode(errno);
    return listing;
  }
  listing.ok = true;
  int dfd = dirfd(dir);
  // A folder's size bounds its number of entries; reserving touches no memory.
  struct stat folder_stat {};
  if (fstat(dfd, &folder_stat) == 0 && folder_stat.st_size > 0) {
    listing.entries.reserve(static_cast<std::size_t>(folder_stat.st_size) / 16 + 16);
  }
  while (dirent* e = readdir(dir)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    std::uint32_t attributes = IsFolder(dfd, e) ? kAttrDirectory : kAttrArchive;
    if (name[0] == '.') attributes |= kAttrHidden;
    listing.entries.push_back(DirEntry{std::string(name), attributes});
  }
  closedir(dir);
  return listing;
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

}  // namespace platform::folder_cache
