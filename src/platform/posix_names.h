// How the POSIX file service (files_posix.cc, replace_posix.cc,
// file_classes_posix.cc) names what it works on: the program's paths turned
// into paths in "/" form under the drive root, and names missing as written
// looked up in another letter case, as Windows finds them.
#pragma once
#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/folder_cache.h"

namespace platform::posix {

// Separators made "/", the drive root put in front of a rooted path, doubled
// and trailing separators dropped; letter case as written.
std::string PlainPath(const std::string& path);

// Records errno as the last error; false.
bool Fail();

// A name that is missing as written may exist in another letter case.
inline bool WorthResolving(int error) { return error == ENOENT || error == ENOTDIR; }

// Makes `call` (a system call on a path: below 0 and errno when it fails) on
// the program's `path`, where Windows would find the name whatever its
// letter case: first as written (in a folder already found under another
// spelling, when one was); when no such name is there, on the name as the
// folder's listing spells it; and when that fails too, once more as written,
// since a name listed in another case may have gone meanwhile, moved to its
// own spelling. The first failure's errno stands when every try fails.
// `used`, when given, gets the path of the try that succeeded (or of the
// first). Returns what the last call returned.
template <typename Call>
auto OnName(const std::string& path, Call call, std::string* used = nullptr) {
  RecordFolderOf(path);
  std::string plain = folder_cache::WithKnownFolder(PlainPath(path));
  if (used != nullptr) *used = plain;
  auto result = call(plain.c_str());
  if (result >= 0 || !WorthResolving(errno)) return result;
  const int first_error = errno;
  std::string resolved = folder_cache::ResolveCase(plain);
  result = call(resolved.c_str());
  if (result >= 0) {
    if (used != nullptr) *used = resolved;
    return result;
  }
  if (resolved != plain) {
    folder_cache::Forget(resolved);
    result = call(plain.c_str());
    if (result >= 0) return result;
  }
  errno = first_error;
  return result;
}

// Whether the folder open as `dfd` lies on a file system that is not known
// to be local to this host (ext2/3/4, xfs, btrfs, tmpfs, f2fs and their
// like): on any other, others may change it (other hosts, a program in user
// space, a host sharing a folder with its guest) where no clock of this host
// moves and no change notice is raised here, and a client may answer from
// an attribute cache. True also when the file system cannot be told.
bool NotKnownLocal(int dfd);
// The same for the file system that `native` lies on (no descriptor taken).
bool NotKnownLocal(const std::string& native);

// A number for a temporary name that no other running process uses: the
// process id in the high half, this process's own count (started from the
// clock, so that a later process with the same id begins elsewhere) in the
// low half.
std::uint64_t UniqueNumber();

// All of `data` written to `fd`, however many writes it takes.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace platform::posix

namespace platform::posix {

// After a rename: false (with an error) when the source still bears its
// name, as it does when both names were links of one file, where rename()
// does nothing and reports success.
bool RenamedAway(const std::string& native_source);

}  // namespace platform::posix
