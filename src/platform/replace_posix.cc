// Putting a complete new file in place of another in one step, the old one
// kept as a backup (the POSIX file service; files_posix.cc lists its parts).
#include "platform/files.h"
#include "platform/folder_cache.h"
#include "platform/posix_calls.h"
#include "platform/posix_names.h"

namespace platform {
namespace {

using posix::Fail;

// Flushes a folder's entries (a rename or a new name in it) to disk.
bool SyncFolder(const std::string& native_folder) {
  int fd = sys::Open(native_folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return Fail();
  bool ok = sys::Fsync(fd) == 0 || Fail();
  sys::Close(fd);  // only read from
  return ok;
}

// A byte-for-byte copy to a new file; for folders where hard links are refused.
bool CopyToNewFile(const std::string& from_native, const std::string& to_native) {
  int in = sys::Open(from_native.c_str(), O_RDONLY);
  if (in < 0) return Fail();
  int out = sys::Open(to_native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (out < 0) {
    int error = errno;
    sys::Close(in);
    SetLastErrorCode(error);
    return false;
  }
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = sys::Read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!posix::WriteAll(out, chunk, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  if (!ok) SetLastErrorCode(errno);
  sys::Close(in);  // only read from
  if (sys::Close(out) != 0 && ok) return Fail();
  return ok;
}

// Gives the file `now` the name `backup` as well, through a staging name so
// that `backup` is replaced in one step: a hard link, or a copy where links
// are refused. The staging name never stays.
bool KeepAsBackup(const std::string& now, const std::string& backup) {
  std::string staging;
  int linked = -1;
  do {
    staging =
        folder_cache::ParentFolder(backup) + "/" + TemporaryName("lnk", posix::UniqueNumber());
    linked = sys::Link(now.c_str(), staging.c_str());
  } while (linked != 0 && errno == EEXIST);
  if (linked != 0 && !CopyToNewFile(now, staging)) {
    sys::Unlink(staging.c_str());  // a copy begun and failed
    return false;
  }
  int renamed = sys::Rename(staging.c_str(), backup.c_str());
  int error = errno;
  // Whatever rename() reported: when the backup already was a link of the
  // same file, it did nothing and the staging name is still there.
  sys::Unlink(staging.c_str());
  if (renamed != 0) {
    SetLastErrorCode(error);
    return false;
  }
  return true;
}

}  // namespace

bool ReplaceWithBackup(const std::string& replacement, const std::string& target,
                       const std::string& backup) {
  // The target's own spelling, and the name it has on disk now (another
  // letter case, say from a copy off a Windows server).
  std::string r = NativePath(replacement), own = posix::PlainPath(target), now = NativePath(target);
  std::string b = NativePath(backup);
  for (const std::string* name : {&r, &own, &now, &b}) folder_cache::Forget(*name);
  // The previous file is kept under the backup name first; the target itself
  // is never missing, so a reader always finds a complete file.
  if (folder_cache::Lexists(now) && !KeepAsBackup(now, b)) return false;
  if (sys::Rename(r.c_str(), own.c_str()) != 0) return Fail();
  if (!posix::RenamedAway(r)) return false;
  // The old spelling goes only now that the new file stands in place.
  if (now != own && folder_cache::Lexists(now)) sys::Unlink(now.c_str());
  SyncFolder(folder_cache::ParentFolder(own));
  return true;
}

}  // namespace platform
