#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/accounts.h"
#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform {
namespace {

bool InGroup(const Account& account, unsigned group) {
  return std::find(account.groups.begin(), account.groups.end(), group) != account.groups.end();
}

// An access-control list as the kernel stores it in the extended attribute
// "system.posix_acl_access": a little-endian version (2), then entries of a
// tag, the rights (rwx as in a mode) and, for named users and groups, an id.
struct AclEntry {
  std::uint16_t tag;
  std::uint16_t rights;
  std::uint32_t id;
};
enum AclTag : std::uint16_t {
  kOwner = 0x01,
  kNamedUser = 0x02,
  kOwningGroup = 0x04,
  kNamedGroup = 0x08,
  kMask = 0x10,
  kOthers = 0x20
};

// The list's entries; empty when the file has none (or it cannot be read:
// the mode bits then decide, as they do for the kernel on a file system
// without lists).
std::vector<AclEntry> AccessListOf(const std::string& native) {
  std::array<unsigned char, 4096> raw{};
  ssize_t size = getxattr(native.c_str(), "system.posix_acl_access", raw.data(), raw.size());
  std::vector<AclEntry> entries;
  if (size < 4 || (size - 4) % 8 != 0) return entries;
  auto at16 = [&](std::size_t i) { return static_cast<std::uint16_t>(raw[i] | raw[i + 1] << 8); };
  auto at32 = [&](std::size_t i) {
    return static_cast<std::uint32_t>(at16(i)) | static_cast<std::uint32_t>(at16(i + 2)) << 16;
  };
  if (at32(0) != 2) return entries;
  for (std::size_t i = 4; i + 8 <= static_cast<std::size_t>(size); i += 8)
    entries.push_back({at16(i), at16(i + 2), at32(i + 4)});
  return entries;
}

// The list as the kernel stores it.
std::string Encoded(const std::vector<AclEntry>& entries) {
  std::string raw;
  auto put = [&raw](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) raw.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  put(2, 4);
  for (const AclEntry& e : entries) {
    put(e.tag, 2);
    put(e.rights, 2);
    put(e.id, 4);
  }
  return raw;
}

// The kernel's reading of a list: the owner's entry for the owner, else a
// named user's entry (within the mask), else every group entry that
// applies: access if one of them grants it (within the mask), none if some
// apply and none grants it; else the others' entry.
bool ListGrants(const std::vector<AclEntry>& entries, const Account& account, const struct stat& st,
                unsigned access) {
  unsigned mask = 7;
  for (const AclEntry& e : entries)
    if (e.tag == kMask) mask = e.rights;
  bool group_applies = false;
  for (const AclEntry& e : entries) {
    switch (e.tag) {
      case kOwner:
        if (st.st_uid == account.id) return (e.rights & access) == access;
        break;
      case kNamedUser:
        if (e.id == account.id) return (e.rights & mask & access) == access;
        break;
      default:
        break;
    }
  }
  for (const AclEntry& e : entries) {
    bool applies = (e.tag == kOwningGroup && InGroup(account, st.st_gid)) ||
                   (e.tag == kNamedGroup && InGroup(account, e.id));
    if (!applies) continue;
    group_applies = true;
    if ((e.rights & mask & access) == access) return true;
  }
  if (group_applies) return false;
  for (const AclEntry& e : entries)
    if (e.tag == kOthers) return (e.rights & access) == access;
  return false;
}

}  // namespace

bool LookUpAccount(const std::string& name, Account& account) {
  passwd* entry = getpwnam(name.c_str());
  if (entry == nullptr) return false;
  account.name = name;
  account.id = entry->pw_uid;
  account.group_id = entry->pw_gid;
  group* own = getgrgid(entry->pw_gid);
  account.group_name = own != nullptr ? own->gr_name : std::to_string(entry->pw_gid);
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (getgrouplist(name.c_str(), entry->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count) + 16);
    count = static_cast<int>(groups.size());
  }
  groups.resize(static_cast<std::size_t>(count));
  account.groups.assign(groups.begin(), groups.end());
  return true;
}

bool AccountMay(const Account& account, const std::string& path, unsigned access) {
  struct stat st {};
  if (stat(NativePath(path).c_str(), &st) != 0) return false;
  if (account.id == 0)
    return (access & kSearch) == 0 || (st.st_mode & 0111) != 0 || S_ISDIR(st.st_mode);
  std::vector<AclEntry> entries = AccessListOf(NativePath(path));
  if (!entries.empty()) return ListGrants(entries, account, st, access);
  unsigned bits;
  if (st.st_uid == account.id) {
    bits = (st.st_mode >> 6) & 7;
  } else if (InGroup(account, st.st_gid)) {
    bits = (st.st_mode >> 3) & 7;
  } else {
    bits = st.st_mode & 7;
  }
  return (bits & access) == access;
}

bool AccountMayReplace(const Account& account, const std::string& path) {
  std::string native = NativePath(path);
  std::string folder = folder_cache::ParentFolder(native);
  if (!AccountMay(account, folder, kWrite | kSearch)) return false;
  struct stat dir {
  }, entry{};
  if (stat(folder.c_str(), &dir) != 0) return false;
  if ((dir.st_mode & S_ISVTX) == 0 || account.id == 0 || dir.st_uid == account.id) return true;
  return lstat(native.c_str(), &entry) != 0 || entry.st_uid == account.id;
}

std::string OwnerOf(const std::string& path) {
  struct stat st {};
  if (stat(NativePath(path).c_str(), &st) != 0) return std::string();
  passwd* entry = getpwuid(st.st_uid);
  return entry != nullptr ? entry->pw_name : std::to_string(st.st_uid);
}

bool GiveToAccount(const Account& account, const std::string& path) {
  return chown(NativePath(path).c_str(), account.id, account.group_id) == 0;
}

bool GiveToAccountsGroup(const Account& account, const std::string& path, unsigned mode) {
  std::string native = NativePath(path);
  return chown(native.c_str(), static_cast<uid_t>(-1), account.group_id) == 0 &&
         chmod(native.c_str(), mode) == 0;
}

bool AddRights(const std::string& path, unsigned mode) {
  std::string native = NativePath(path);
  struct stat st {};
  return stat(native.c_str(), &st) == 0 && chmod(native.c_str(), (st.st_mode & 07777) | mode) == 0;
}

bool OwnedByAnotherAccount(const Account& account, const std::string& path) {
  struct stat st {};
  return stat(NativePath(path).c_str(), &st) == 0 && st.st_uid != 0 && st.st_uid != account.id;
}

bool GrantToAccount(const Account& account, const std::string& path, unsigned access) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (stat(native.c_str(), &st) != 0) return false;
  constexpr std::uint32_t kNoId = 0xFFFFFFFF;
  std::vector<AclEntry> entries = AccessListOf(native);
  if (entries.empty()) {  // the list the mode bits stand for
    const auto bits = [&st](int shift) { return static_cast<std::uint16_t>((st.st_mode >> shift) & 7); };
    entries = {{kOwner, bits(6), kNoId}, {kOwningGroup, bits(3), kNoId}, {kOthers, bits(0), kNoId}};
  }
  std::erase_if(entries, [&](const AclEntry& e) {
    return e.tag == kMask || (e.tag == kNamedUser && e.id == account.id);
  });
  entries.push_back({kNamedUser, static_cast<std::uint16_t>(access & 7), account.id});
  std::uint16_t mask = 0;
  for (const AclEntry& e : entries)
    if (e.tag == kNamedUser || e.tag == kOwningGroup || e.tag == kNamedGroup) mask |= e.rights;
  entries.push_back({kMask, mask, kNoId});
  // The kernel takes the entries in order of tag, then of id.
  std::sort(entries.begin(), entries.end(), [](const AclEntry& a, const AclEntry& b) {
    return a.tag != b.tag ? a.tag < b.tag : a.id < b.id;
  });
  const std::string raw = Encoded(entries);
  return setxattr(native.c_str(), "system.posix_acl_access", raw.data(), raw.size(), 0) == 0;
}

}  // namespace platform
