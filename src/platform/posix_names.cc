// Names on disk for the POSIX file service: the drive root, plain paths,
// the numbers of temporary names, and the file systems whose changes this
// host does not see.
#include "platform/posix_names.h"

#include <unistd.h>

#include "platform/posix_calls.h"

namespace platform {
namespace {
std::string g_drive_root;
}  // namespace

namespace posix {

std::string PlainPath(const std::string& path) {
  bool rooted = !path.empty() && (path[0] == '/' || path[0] == '\\');
  std::string s = rooted ? g_drive_root : std::string();
  std::size_t n = s.size();
  s.resize(n + path.size());
  char* out = s.data();
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && n > 0 && out[n - 1] == '/') continue;
    out[n++] = c;
  }
  while (n > 1 && out[n - 1] == '/') --n;
  s.resize(n);
  return s.empty() ? std::string(".") : s;
}

bool Fail() {
  SetLastErrorCode(errno);
  return false;
}

std::uint64_t UniqueNumber() {
  static std::uint32_t counter = static_cast<std::uint32_t>(FileTimeNow() / 1000);
  return (static_cast<std::uint64_t>(getpid()) << 32) | ++counter;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = sys::Write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

bool KnownLocal(const struct statfs& fs) {
  constexpr unsigned long kLocal[] = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // xfs
      0x9123683E,  // btrfs
      0x01021994,  // tmpfs
      0x858458F6,  // ramfs
      0xF2F52010,  // f2fs
      0x3153464A,  // jfs
      0x52654973,  // reiserfs
      0x2FC12FC1,  // zfs
      0xCA451A4E,  // bcachefs
      0x3434,      // nilfs2
      // overlayfs, as containers use it: its lower layers are images no
      // one changes, and what is changed through it raises notices.
      0x794C7630,
  };
  for (unsigned long magic : kLocal) {
    if (static_cast<unsigned long>(fs.f_type) == magic) return true;
  }
  return false;
}

}  // namespace

bool NotKnownLocal(int dfd) {
  struct statfs fs {};
  // Not known: not trusted either.
  return sys::Fstatfs(dfd, &fs) != 0 || !KnownLocal(fs);
}

bool NotKnownLocal(const std::string& native) {
  struct statfs fs {};
  return statfs(native.c_str(), &fs) != 0 || !KnownLocal(fs);
}

bool RenamedAway(const std::string& native_source) {
  if (!folder_cache::Lexists(native_source)) return true;
  SetLastErrorCode(EEXIST);
  return false;
}

}  // namespace posix

void SetDriveRoot(const std::string& folder) {
  g_drive_root = folder;
  while (g_drive_root.size() > 1 && g_drive_root.back() == '/') g_drive_root.pop_back();
  folder_cache::ForgetAll();
}

const std::string& DriveRoot() { return g_drive_root; }

std::string OperatorPath(const std::string& path) { return posix::PlainPath(path); }

bool IsMissingNameError(int code) { return code == ENOENT || code == ENOTDIR; }

std::string NativePath(const std::string& path) {
  RecordFolderOf(path);
  std::string plain = posix::PlainPath(path);
  return folder_cache::Lexists(plain) ? plain : folder_cache::ResolveCase(plain);
}

}  // namespace platform
