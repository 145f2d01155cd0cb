#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/accounts.h"
#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform {
namespace {

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

// The kernel is asked as the account itself: a helper process, forked once
// per account and kept, takes on the account's user, group and groups and
// answers access(2) for each path it is sent. A request is the access bits
// and the path's length (four bytes each) and the path; the answer is the
// error number (four bytes, 0 when granted).
class Judge {
 public:
  ~Judge() { Stop(); }

  // 0 when `account` may, else the error the kernel gave it (EPERM when
  // this process cannot take on the account).
  int Ask(const Account& account, const std::string& native, unsigned access) {
    if (account.id == geteuid()) return Access(native, access);
    if (geteuid() != 0) return EPERM;
    if (pid_ < 0 || uid_ != account.id) Start(account);
    if (pid_ < 0) return EPERM;
    std::uint32_t head[2] = {access, static_cast<std::uint32_t>(native.size())};
    std::int32_t answer = EIO;
    if (!SendAll(head, sizeof head) || !SendAll(native.data(), native.size()) ||
        !ReceiveAll(&answer, sizeof answer)) {
      Stop();
      return EIO;
    }
    return answer;
  }

 private:
  // access(2)'s mode for a sum of Access bits (safe after fork).
  static int ModeOf(unsigned access) {
    int mode = ((access & kRead) != 0 ? R_OK : 0) | ((access & kWrite) != 0 ? W_OK : 0) |
               ((access & kSearch) != 0 ? X_OK : 0);
    return mode == 0 ? F_OK : mode;
  }

  static int Access(const std::string& native, unsigned access) {
    return faccessat(AT_FDCWD, native.c_str(), ModeOf(access), AT_EACCESS) == 0 ? 0 : errno;
  }

  void Start(const Account& account) {
    Stop();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
    std::vector<gid_t> groups(account.groups.begin(), account.groups.end());
    pid_t pid = fork();
    if (pid == 0) {
      close(pair[0]);
      if (setgroups(groups.size(), groups.data()) != 0 ||
          setresgid(account.group_id, account.group_id, account.group_id) != 0 ||
          setresuid(account.id, account.id, account.id) != 0)
        _exit(1);
      Serve(pair[1]);
    }
    close(pair[1]);
    if (pid < 0) {
      close(pair[0]);
      return;
    }
    pid_ = pid;
    fd_ = pair[0];
    uid_ = account.id;
  }

  // The helper's loop; only calls that are safe after fork in a process
  // with threads.
  [[noreturn]] static void Serve(int fd) {
    static char path[8192];
    for (;;) {
      std::uint32_t head[2];
      if (!ReadAll(fd, head, sizeof head) || head[1] >= sizeof path || !ReadAll(fd, path, head[1]))
        _exit(0);
      path[head[1]] = '\0';
      std::int32_t answer = access(path, ModeOf(head[0])) == 0 ? 0 : errno;
      if (send(fd, &answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) _exit(0);
    }
  }

  static bool ReadAll(int fd, void* data, std::size_t size) {
    auto* at = static_cast<char*>(data);
    while (size > 0) {
      ssize_t got = read(fd, at, size);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      at += got;
      size -= static_cast<std::size_t>(got);
    }
    return true;
  }
  bool ReceiveAll(void* data, std::size_t size) const { return ReadAll(fd_, data, size); }
  bool SendAll(const void* data, std::size_t size) const {
    const auto* at = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t sent = send(fd_, at, size, MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) return false;
      at += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }

  void Stop() {
    if (pid_ < 0) return;
    close(fd_);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  unsigned uid_ = 0;
};

Judge& TheJudge() {
  static Judge judge;
  return judge;
}

// A mend runs as root in folders the account may write, where it could
// have put a link (to /etc/shadow, say) or a second name for another's
// file. The path is opened one name at a time: a link is followed only
// where it stands in a folder the account cannot write (the operator's
// own), and the last name is never a link, nor a file with other names.
// The answer is a descriptor that names the file itself (O_PATH), or -1.
int OpenUnplanted(const Account& account, const std::string& native) {
  if (native.empty() || native[0] != '/') return -1;
  std::vector<std::string> names;  // still to walk, the next one last
  auto push_path = [&names](const std::string& path) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < path.size()) {
      std::size_t end = path.find('/', at);
      if (end == std::string::npos) end = path.size();
      if (end > at) parts.push_back(path.substr(at, end - at));
      at = end + 1;
    }
    names.insert(names.end(), parts.rbegin(), parts.rend());
  };
  push_path(native);
  int folder = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::string so_far;  // the folder's path, links resolved
  int links = 0;
  while (folder >= 0 && !names.empty()) {
    const std::string name = names.back();
    names.pop_back();
    if (name == ".") continue;
    int next = openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (next < 0 || fstat(next, &st) != 0) {
      if (next >= 0) close(next);
      close(folder);
      return -1;
    }
    if (S_ISLNK(st.st_mode)) {
      std::array<char, 4096> target{};
      ssize_t size = readlinkat(folder, name.c_str(), target.data(), target.size() - 1);
      close(next);
      const std::string here = so_far.empty() ? "/" : so_far;
      if (names.empty() || size <= 0 || ++links > 40 ||
          TheJudge().Ask(account, here, kWrite | kSearch) == 0) {
        close(folder);
        return -1;
      }
      std::string text(target.data(), static_cast<std::size_t>(size));
      push_path(text);
      if (text[0] == '/') {
        close(folder);
        folder = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        so_far.clear();
      }
      continue;
    }
    if (name == "..") {
      so_far = so_far.substr(0, so_far.rfind('/'));
    } else {
      so_far += "/" + name;
    }
    close(folder);
    folder = next;
    if (names.empty() && !S_ISDIR(st.st_mode) && (!S_ISREG(st.st_mode) || st.st_nlink != 1)) {
      close(folder);
      return -1;
    }
  }
  return folder;
}

// The path that reaches the file behind a descriptor of OpenUnplanted.
std::string Through(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// `mend` done on the file `path` names, reached as OpenUnplanted allows.
template <typename Mend>
bool MendUnplanted(const Account& account, const std::string& path, Mend mend) {
  int fd = OpenUnplanted(account, NativePath(path));
  if (fd < 0) return false;
  bool done = mend(fd);
  close(fd);
  return done;
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
  int denied = TheJudge().Ask(account, NativePath(path), access);
  errno = denied;
  return denied == 0;
}

bool CanAskAs(const Account& account) { return geteuid() == 0 || geteuid() == account.id; }

bool HasStickyBit(const std::string& path) {
  struct stat st {};
  return stat(NativePath(path).c_str(), &st) == 0 && (st.st_mode & S_ISVTX) != 0;
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
  return MendUnplanted(account, path, [&account](int fd) {
    return fchownat(fd, "", account.id, account.group_id, AT_EMPTY_PATH) == 0;
  });
}

bool GiveToAccountsGroup(const Account& account, const std::string& path, unsigned mode) {
  return MendUnplanted(account, path, [&account, mode](int fd) {
    return fchownat(fd, "", static_cast<uid_t>(-1), account.group_id, AT_EMPTY_PATH) == 0 &&
           chmod(Through(fd).c_str(), mode) == 0;
  });
}

bool AddRights(const Account& account, const std::string& path, unsigned mode) {
  return MendUnplanted(account, path, [mode](int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && chmod(Through(fd).c_str(), (st.st_mode & 07777) | mode) == 0;
  });
}

bool OwnedByAnotherAccount(const Account& account, const std::string& path) {
  struct stat st {};
  return stat(NativePath(path).c_str(), &st) == 0 && st.st_uid != 0 && st.st_uid != account.id;
}

namespace {

// The account's entry added to the list of the file behind `fd`.
bool GrantThrough(const Account& account, int fd, unsigned access) {
  const std::string native = Through(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  constexpr std::uint32_t kNoId = 0xFFFFFFFF;
  std::vector<AclEntry> entries = AccessListOf(native);
  if (entries.empty()) {  // the list the mode bits stand for
    const auto bits = [&st](int shift) {
      return static_cast<std::uint16_t>((st.st_mode >> shift) & 7);
    };
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

}  // namespace

bool GrantToAccount(const Account& account, const std::string& path, unsigned access) {
  return MendUnplanted(account, path, [&](int fd) { return GrantThrough(account, fd, access); });
}

}  // namespace platform
