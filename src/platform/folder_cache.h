// The folder cache of the POSIX file service: folder listings and the real
// letter case of names, kept for the life of the thread that asked (the
// program runs one).
//
// Windows finds a name whatever its letter case; a POSIX file system does
// not. The file service (files_posix.cc) therefore looks a name up in its
// folder's listing when the name is missing as written, and it answers
// wildcard searches from listings too. Reading a folder once and keeping it
// makes both cheap.
//
// When an answer may be reused: until this process changes the folder through
// the file service (every create, rename and delete there calls Forget), and
// for as long as the process lives otherwise. Changes that other processes
// make to a folder after this process first listed it are not seen. That
// suits a program that handles one request and ends: a listing taken during
// the request stands for the request, as a find-first/find-next walk over a
// folder that another process is changing gives no firmer answer. A program
// that lives longer must call ForgetAll before it looks again.
//
// Each thread has a cache of its own, so "this process" above reads "this
// thread" where a program runs several: a thread sees other threads' changes
// as it sees other processes'. The references this interface returns belong
// to the calling thread's cache.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/names.h"

namespace platform::folder_cache {

struct Listing {
  bool ok = false;                                        // the folder could be read
  std::vector<DirEntry> entries;                          // in the order the system gives them
  std::unordered_map<std::string, std::size_t> by_upper;  // built when first needed
  bool indexed = false;
};

// The listing of a folder, named as the system knows it ("." for the current
// folder, "/" for the root); read on first use.
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

}  // namespace platform::folder_cache
