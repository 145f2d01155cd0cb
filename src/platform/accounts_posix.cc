#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/accounts.h"
#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform {
namespace {

bool InGroup(const Account& account, unsigned group) {
  return std::find(account.groups.begin(), account.groups.end(), group) != account.groups.end();
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

}  // namespace platform
