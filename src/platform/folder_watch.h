// Change notices for folders: what a persistent process needs to keep
// something it built from files until one of them may have changed.
//
// A watch covers a folder's own entries (a name made, removed or renamed; a
// file's content, times or rights changed) and the way to it: each folder
// above it, for a change of the next name on the way (made, removed,
// renamed, its rights changed; letter case ignored, as the file service
// finds names, and looked up only once the folder holding it is watched),
// so that a folder that goes, moves, or comes into being is seen too. A
// folder that is missing is watched through the nearest one above it;
// where the way passes a link, the way to its target is watched (a target
// not there yet, through the nearest folder above it that is). Of a folder
// watched whole, an entry that is a link has its target and the target's
// folder watched; a file with other names (hard links) is watched itself
// where the caller asks (WatchFile). On Linux any mount or unmount counts as a change (a mount
// raises no notice in the folders it covers). The system reports a change before the call that made
// it returns (Linux: inotify; Windows: ReadDirectoryChangesW), so Unchanged() asked after such a
// call always sees it.
//
// Where notices cannot be trusted, Watch() says so: a file system not
// known to be local (Linux: other than ext2/3/4, xfs, btrfs, tmpfs and
// their like; Windows: other than NTFS or ReFS on a fixed drive, where links
// lead), a watch the system refused, a system without notices; the caller
// then tells the operator what it does instead. KeptNames tells the
// operator once of each folder it lists anew for that reason. A lost notice (a full queue) counts
// as a change.
//
// KeptNames keeps the names of one folder that match a pattern, listed once
// and then brought up to date from the notices of names made, removed and
// renamed there: for a folder that grows large and is looked at on every
// request. It lists the folder again whenever a notice was lost, the folder
// or the way to it changed, or notices cannot be trusted (and on Windows,
// every time).
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class FolderWatch {
 public:
  FolderWatch();
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Drops every watch: a new set begins, with nothing changed yet.
  void Restart();
  // Watches the folder `path` (written as the program writes paths) and the
  // way to it; false when its changes cannot be trusted to be reported.
  bool Watch(const std::string& path);
  // Watches one file, and its folder, itself: a file with other names
  // (hard links), changed through one of them.
  bool WatchFile(const std::string& path);
  // Reads the notices that came since Restart(), without waiting: true
  // while none of them touches what is watched.
  bool Unchanged();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class KeptNames {
 public:
  KeptNames();
  ~KeptNames();
  KeptNames(const KeptNames&) = delete;
  KeptNames& operator=(const KeptNames&) = delete;

  // Each name that `folder_and_pattern` (as VisitNamesOnce takes it) would
  // list now, in no order.
  void Visit(const std::string& folder_and_pattern,
             const std::function<void(std::string_view)>& visit);
  // Brings the names up to date as Visit does, and tells of each of `names`
  // in the same folder (matching the pattern or not, letter case ignored)
  // whether it is known to have been neither made, removed nor renamed
  // since the last time it was asked of: for files kept open from one
  // request to the next. False the first time a name is asked of, whenever
  // the names are listed anew, and on Windows.
  std::vector<bool> NamesStand(const std::string& folder_and_pattern,
                               const std::vector<std::string>& names);
  // Each name as the last call brought them up to date, but `removed`, which
  // the caller has removed since: the notices come since are left for the
  // next call (a moment's changes by others are not waited for). Where the
  // names are not kept from notices, as Visit.
  void VisitAsBrought(const std::string& folder_and_pattern, const std::string& removed,
                      const std::function<void(std::string_view)>& visit);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
