// The folder cache of the POSIX file service: folder listings and the real
// letter case of names, kept by the thread that asked (the program runs one).
//
// Windows finds a name whatever its letter case; a POSIX file system does
// not. The file service (files_posix.cc) therefore looks a name up in its
// folder's listing when the name is missing as written, and it answers
// wildcard searches from listings too. Reading a folder once and keeping it
// makes both cheap.
//
// When an answer may be reused. Within one request: until this process
// changes the folder through the file service (every create, rename and
// delete there calls Forget); changes other processes make meanwhile are not
// seen, as a find-first/find-next walk over a folder another process is
// changing gives no firmer answer. From one request to the next (a process
// that handles many; BeginRequest marks the start of each): a listing is
// used again only once the folder is shown unchanged since it was read (the
// same folder, with the same modification and status-change times, read
// when those times were already more than two seconds old, so that any
// later change to its names moves them); letter-case answers are forgotten.
//
// Each thread has a cache of its own, so "this process" above reads "this
// thread" where a program runs several: a thread sees other threads' changes
// as it sees other processes'. The references this interface returns belong
// to the calling thread's cache.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "platform/names.h"

namespace platform::folder_cache {

struct Listing {
  bool ok = false;                                        // the folder could be read
  std::vector<DirEntry> entries;                          // in the order the system gives them
  std::unordered_map<std::string, std::size_t> by_upper;  // built when first needed
  bool indexed = false;
};

// The listing of a folder, named as the system knows it ("." for the current
// folder, "/" for the root); read on first use in a request.
Listing& List(const std::string& native_folder);

// The real name of `part` in `native_folder`, letter case ignored, or nullptr.
const std::string* CaselessName(const std::string& native_folder, const std::string& part);

// Whether `native` names anything; a symbolic link counts as itself, not as
// what it points to.
bool Lexists(const std::string& native);

// The folder that a path in "/" form lies in: "." for a bare name, "/" for a
// name at the root.
std::string ParentFolder(const std::string& native);

// A path in "/" form resolved folder by folder: where a name is missing as
// written, the one that differs only in letter case is taken.
std::string ResolveCase(const std::string& plain);

// `plain` with its folder part as already resolved, when an earlier look
// found that folder under another letter case; otherwise `plain` itself. No
// system call: many names in one such folder cost one resolution.
std::string WithKnownFolder(const std::string& plain);

// This process changed `native` (a file or folder): its folder's listing, and
// its own when it is a folder, are read again when next needed.
void Forget(const std::string& native);
// Everything is read again when next needed.
void ForgetAll();

// A new request begins: every listing is checked before it is used again.
void BeginRequest();

// Tests move the clock that tells how old a folder's times are when it is
// read; nullptr is the system clock.
void SetClockForTests(FileTime (*now)());

}  // namespace platform::folder_cache
