#include "check/site_check.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <numeric>
#include <set>
#include <utility>

#include "catalogue/areas.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "catalogue/text_reader.h"
#include "common/page_text.h"
#include "common/paths.h"
#include "platform/clock.h"
#include "platform/commands.h"
#include "platform/files.h"
#include "server/file_scan.h"
#include "server/file_utils.h"
#include "server/site_paths.h"
#include "server/statistics.h"

namespace check {
namespace {

constexpr std::size_t kNamesShown = 20;

class Collector {
 public:
  explicit Collector(SiteReport& report) : report_(report) {}
  void Info(std::string text, std::string mend = {}) {
    report_.findings.push_back(Finding{false, std::move(text), std::move(mend), {}});
  }
  void Problem(std::string text, std::string mend = {}, std::vector<Repair> repairs = {}) {
    report_.findings.push_back(Finding{true, std::move(text), std::move(mend), std::move(repairs)});
  }

 private:
  SiteReport& report_;
};

// "a, b, c" for at most kNamesShown names, then how many more.
std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i > 0) text += ", ";
    text += names[i];
  }
  if (names.size() > kNamesShown) {
    text += " and " + std::to_string(names.size() - kNamesShown) + " more";
  }
  return text;
}

// One repair of `kind` for each of the paths.
std::vector<Repair> RepairsOf(Repair::Kind kind, const std::vector<std::string>& paths,
                              unsigned mode = 0) {
  std::vector<Repair> repairs;
  repairs.reserve(paths.size());
  for (const std::string& path : paths) repairs.push_back(Repair{kind, path, mode});
  return repairs;
}

std::string FolderName(const std::string& folder) {
  std::string trimmed = folder;
  while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  return common::ExtractFileName(trimmed) + "/";
}

std::string Native(const std::string& path) { return platform::OperatorPath(path); }

// Names are reported in byte order, whatever order the file system lists
// them in, with each path kept beside its name.
void SortTogether(std::vector<std::string>& names, std::vector<std::string>& paths) {
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
  std::vector<std::string> sorted_names, sorted_paths;
  for (std::size_t i : order) {
    sorted_names.push_back(std::move(names[i]));
    sorted_paths.push_back(std::move(paths[i]));
  }
  names = std::move(sorted_names);
  paths = std::move(sorted_paths);
}

// What the book folders hold, slot by slot, as the scan names them.
struct FolderContents {
  std::array<bool, catalogue::WebFiles + 1> text{};
  std::array<std::array<bool, 6>, catalogue::WebFiles + 1> index{};
  std::vector<std::string> unmatched, unmatched_paths, pass_enders, pass_ender_paths;
};

FolderContents ReadFolders(const std::string& txt, const std::string& idx) {
  FolderContents c;
  bool found = false;
  int slot = -1;
  platform::VisitFiles(txt + "*.TXT", [&](const platform::DirEntry& entry) {
    server::FindFileSlot(entry.name, found, slot);
    if (found) {
      c.text[slot] = true;
    } else {
      c.unmatched.push_back(FolderName(txt) + entry.name);
      c.unmatched_paths.push_back(Native(txt + entry.name));
    }
    return true;
  });
  platform::VisitFiles(idx + "*.IX*", [&](const platform::DirEntry& entry) {
    server::FindFileSlot(entry.name, found, slot);
    if (server::EndsIndexPass(entry.name)) {
      c.pass_enders.push_back(FolderName(idx) + entry.name);
      c.pass_ender_paths.push_back(Native(idx + entry.name));
    } else if (!found) {
      c.unmatched.push_back(FolderName(idx) + entry.name);
      c.unmatched_paths.push_back(Native(idx + entry.name));
    } else if (int number = server::IndexFileNumber(entry.name); number >= 0) {
      c.index[slot][number] = true;
    }
    return true;
  });
  SortTogether(c.unmatched, c.unmatched_paths);
  SortTogether(c.pass_enders, c.pass_ender_paths);
  return c;
}

void CheckBooks(Collector& out, const std::string& folder) {
  std::string diagnostic;
  server::CGIFindAvailFiles(diagnostic);
  const std::string& txt = server::TXTPath;
  const std::string& idx = server::IDXPath;
  if (txt != folder + "fulltxt/") {
    out.Info("No book in " + folder + "fulltxt/ and " + folder +
             "fullindexes/: the program looks in " + txt + " and " + idx);
  }
  std::string per_area;
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    const catalogue::TAreaRecord& area = catalogue::S_Rec[s];
    int count = 0;
    for (int f = area.FirstFile; f <= area.LastFile; ++f) count += server::CanUseFile[f] ? 1 : 0;
    per_area += (s == 0 ? "" : ", ") + area.AreaId + " " + std::to_string(count);
  }
  if (server::TotFilesOnWeb == 0) {
    out.Problem(
        "Books present: none (a book needs its text and all six index files): visitors get an "
        "error page instead of the books",
        "put the books into " + Native(folder + "fulltxt") + " and " +
            Native(folder + "fullindexes") + " (install-site --books DIR copies them)");
  } else {
    out.Info("Books present: " + std::to_string(server::TotFilesOnWeb) + " (" + per_area + ")");
  }

  FolderContents c = ReadFolders(txt, idx);
  std::vector<std::string> cut_off;  // books complete on disk that the index pass misses
  for (int n = 1; n <= catalogue::WebFiles; ++n) {
    const std::string& code = catalogue::CodeOf(n);
    if (code.empty()) continue;
    std::vector<std::string> missing, present;
    for (int d = 0; d < 6; ++d) {
      (c.index[n][d] ? present : missing).push_back(code + ".IX" + std::to_string(d));
    }
    if (c.text[n] && !missing.empty()) {
      out.Problem("Book " + code + " (" + std::to_string(n) + ") has its text but not " +
                      NameList(missing) + " in " + idx + ": visitors are not offered it",
                  "put " + NameList(missing) + " into " + Native(idx));
    } else if (!c.text[n] && !present.empty()) {
      out.Problem("Index files without a text " + code + ".TXT in " + txt + ": " +
                      NameList(present) + ": visitors are not offered the book",
                  "put " + code + ".TXT into " + Native(txt));
    } else if (c.text[n] && !server::CanUseFile[n]) {
      cut_off.push_back(code);
    }
  }
  if (!c.unmatched.empty()) {
    out.Info("Names that match no book code: " + NameList(c.unmatched) +
                 ": the program passes them over; the page is none the worse for them",
             platform::MoveAwayCommand(c.unmatched_paths));
  }
  for (std::size_t i = 0; i < c.pass_enders.size(); ++i) {
    std::string effect =
        cut_off.empty()
            ? "no book is missed for it now, but a book whose index files come after it would be"
            : "visitors are not offered " + NameList(cut_off) + ", whose index files come after it";
    out.Problem(c.pass_enders[i] +
                    " does not end in a digit: the program stops reading index files there "
                    "(in the order of their names): " +
                    effect,
                platform::MoveAwayCommand({c.pass_ender_paths[i]}));
  }
}

// What stands of the headers file, looked at once.
struct HeadersFile {
  std::string path, name, real_name, stamp;
  bool exists = false, stale = false, read = false;
  int records = 0;
  std::vector<std::string> disagreements;
};

HeadersFile LookAtHeaders(const std::string& folder) {
  HeadersFile h;
  h.path = folder + catalogue::HeadersFileName();
  h.name = catalogue::HeadersFileName();
  h.exists = platform::FileExists(h.path);
  if (!h.exists) return h;
  h.real_name = common::ExtractFileName(platform::NativePath(h.path));
  {
    platform::InputFile file;
    if (file.Open(h.path)) catalogue::TextReader(file).ReadLine(h.stamp);
  }
  h.stale = catalogue::HeadersFileIsStale(h.path);
  catalogue::ResetBookHeaders();
  try {
    catalogue::ReadHeadersFile(false, h.path);
    h.read = true;
  } catch (const std::exception& e) {
    h.disagreements.push_back(std::string("it cannot be read: ") + e.what());
  }
  common::PageText.clear();
  for (int n = 1; n <= catalogue::WebFiles; ++n) {
    const std::string& code = catalogue::BookHeaders[n].Code;
    if (code.empty()) continue;
    ++h.records;
    if (code != catalogue::CodeOf(n)) {
      h.disagreements.push_back("record " + std::to_string(n) + " names " + code + ", but book " +
                                std::to_string(n) + " of the catalogue is " + catalogue::CodeOf(n));
    }
  }
  return h;
}

// The headers file as such. `rebuildable`: a request can write the site
// folder (as far as is known); `say_stale`: no account is checked, so the
// stale file's fate is told here, not with the account's findings.
void CheckHeaders(Collector& out, const HeadersFile& h, bool rebuildable, bool say_stale) {
  if (!h.exists) {
    if (rebuildable) out.Info("Headers file " + h.name + ": missing; the first request builds it");
    return;
  }
  if (h.real_name != h.name) {
    out.Info("Headers file stands as " + h.real_name + "; a rebuild names it " + h.name);
  }
  std::string remove;
  if (rebuildable)
    remove = platform::RemoveCommand({Native(h.path)}) + "  (the next request builds it anew)";
  if (!h.read) {
    out.Problem("Headers file " + h.name + ": " + h.disagreements.front() +
                    ": every request ends in an error page",
                remove);
    return;
  }
  std::string summary = "Headers file " + h.name + ": stamp " +
                        (h.stamp.empty() ? "(none)" : h.stamp) + ", " + std::to_string(h.records) +
                        " records, ";
  if (h.stale) {
    out.Info(summary + "stale (older than the newest book text)" +
             (say_stale ? ": the next request rebuilds it" : ""));
    return;  // what is wrong in it goes with the rebuild
  }
  if (h.stamp != catalogue::VersionStamp()) {
    out.Problem(summary + "fresh; this program writes stamp " + catalogue::VersionStamp() +
                    ": the page says the file is of another version and that the headers could "
                    "not be read",
                remove);
  } else {
    out.Info(summary + "fresh");
  }
  for (const std::string& disagreement : h.disagreements) {
    out.Problem("Headers " + disagreement + ": the page shows that record's book and author " +
                    "for the book of the catalogue, and says the headers could not be read",
                remove);
  }
}

std::string Owner(const std::string& path) {
  std::string owner = platform::OwnerOf(path);
  return owner.empty() ? "another account" : owner;
}

// A folder the account cannot write: the mend that takes it over (`mend`,
// `repair`), unless it is a folder of the operator's own account (a site
// brought from another server, shared with the sibling programs), which
// keeps its owner and group: then the account is granted an entry, and the
// folder the sticky bit.
void CannotWriteFolder(Collector& out, const platform::Account& account, const std::string& folder,
                       const std::string& text, std::string mend, Repair repair) {
  std::vector<Repair> repairs{std::move(repair)};
  if (platform::OwnedByAnotherAccount(account, folder)) {
    const std::string quoted = platform::QuotedForCommand(Native(folder));
    mend = "setfacl -m u:" + account.name + ":rwx " + quoted;
    repairs = {Repair{Repair::Kind::kGrantToAccount, folder, 7}};
    // Granted to write there, the account could rename or remove the
    // sibling programs' files; the sticky bit keeps it to its own.
    if (!platform::HasStickyBit(folder)) {
      mend += " && chmod +t " + quoted;
      repairs.push_back(Repair{Repair::Kind::kAddRights, folder, 01000});
    }
  }
  mend = platform::GrantCommand(account.name, {Native(folder)},
                                platform::kRead | platform::kWrite | platform::kSearch, true, mend);
  out.Problem(text, mend, repairs);
}

// Names in `where` (the site folder, Statistics/) that are links or other
// files' second names: the account may have put them there, and a mend
// that gave or granted through them would hand the account the file they
// lead to. Named with the command that removes the names themselves.
void NamePlanted(Collector& out, const std::string& where, std::vector<std::string> names,
                 std::vector<std::string> paths, const std::string& after) {
  if (names.empty()) return;
  SortTogether(names, paths);
  out.Problem(NameList(names) + " in " + where + (names.size() > 1 ? " are" : " is") +
                  " a link or another file's second name, as the account could have put "
                  "there: no mend acts through it, and it stays as it is until removed",
              platform::RemoveCommand(paths) + "  (" + after + ")");
}

// The site folder, and the headers file and its backup in it.
void CheckSiteFolder(Collector& out, const std::string& folder, const platform::Account& account,
                     const HeadersFile& h) {
  using platform::AccountMay;
  const std::string who = "Account " + account.name;
  if (platform::OnReadOnlyFileSystem(folder)) return;  // CheckReadOnly names it
  if (!AccountMay(account, folder, platform::kWrite | platform::kSearch)) {
    std::string effect;
    if (!h.exists || h.stale) {
      effect =
          "the headers file cannot be built: visitors see \"Headers File Not Found\" and no "
          "book names";
    } else {
      effect =
          "the page is right now, but once a book changes the headers file cannot be "
          "rebuilt, and visitors see \"Headers File Not Found\" and no book names";
    }
    // The folder's owner is named where it is an account of the operator's.
    const std::string whose = platform::OwnedByAnotherAccount(account, folder)
                                  ? " (" + Owner(folder) + "'s)"
                                  : std::string();
    CannotWriteFolder(out, account, folder,
                      who + " cannot write the site folder " + folder + whose + ": " + effect,
                      "chgrp " + account.group_name + " " +
                          platform::QuotedForCommand(Native(folder)) + " && chmod 1775 " +
                          platform::QuotedForCommand(Native(folder)),
                      Repair{Repair::Kind::kGiveToGroup, folder, 01775});
    return;
  }
  out.Info(who + " can write the site folder");
  std::vector<std::string> others, paths, planted, planted_paths;
  for (const std::string& file : {catalogue::HeadersFileName(), catalogue::HeadersBackupName()}) {
    std::string path = folder + file;
    if (platform::IsLinkOrSecondName(path)) {
      planted.push_back(common::ExtractFileName(platform::NativePath(path)));
      planted_paths.push_back(Native(platform::NativePath(path)));
      continue;
    }
    if (platform::FileExists(path) && !platform::AccountMayReplace(account, path)) {
      others.push_back(common::ExtractFileName(platform::NativePath(path)) + " (" + Owner(path) +
                       "'s)");
      paths.push_back(Native(platform::NativePath(path)));
    }
  }
  NamePlanted(out, "the site folder", planted, planted_paths, "the next request builds it anew");
  if (others.empty()) {
    if (h.exists && h.stale)
      out.Info(who + " can replace the stale headers file: the next request rebuilds it");
    return;
  }
  std::string effect =
      h.exists && h.stale
          ? "the headers file is stale and no request can put a new one in its place: every "
            "visitor sees the failed rebuild (with the site's paths) and no book names"
          : "the page is right now, but once a book changes no request can put a new headers "
            "file in place, and from then on visitors see the failed rebuild (with the site's "
            "paths) and no book names";
  out.Problem(who + " cannot replace " + NameList(others) + " in the site folder: " + effect,
              platform::GrantCommand(account.name, paths, platform::kRead | platform::kWrite, false,
                                     "chown " + account.name + ":" + account.group_name + " " +
                                         platform::QuotedForCommand(paths)),
              RepairsOf(Repair::Kind::kGiveToAccount, paths));
}

// Whether a file of Statistics/ is this program's own ("$enPanel$...",
// letter case aside): the others' files are their programs' business.
bool IsOwnStatisticsFile(const std::string& name) {
  const std::string own = platform::UpperAscii("$" + std::string(server::kProgramName) + "$");
  return name.size() > own.size() && platform::UpperAscii(name.substr(0, own.size())) == own;
}

// The statistics folder and today's files in it.
void CheckStatistics(Collector& out, const std::string& folder, const platform::Account& account) {
  using platform::AccountMay;
  const std::string who = "Account " + account.name;
  const std::string stats = folder + "Statistics/";
  const std::string give = "chown " + account.name + ":" + account.group_name + " ";
  if (platform::OnReadOnlyFileSystem(stats)) return;  // CheckReadOnly names it
  if (!platform::DirectoryExists(stats)) {
    if (AccountMay(account, folder, platform::kWrite | platform::kSearch)) {
      out.Info("Statistics/ is missing; the first request makes it");
    }
    // Otherwise the folder's finding says no file can be made there.
    return;
  }
  std::string day = server::FormatDayStamp(platform::LocalNow());
  const std::string counter = server::StatisticsFileName(server::kProgramName, day, ".ctr");
  const std::string log = server::StatisticsFileName(server::kProgramName, day, ".log");
  auto writable = [&](const std::string& name) {
    return AccountMay(account, stats + name, platform::kRead | platform::kWrite);
  };
  if (!AccountMay(account, stats, platform::kWrite | platform::kSearch)) {
    std::string effect =
        "no session marker can be made there, so the log's counts of running "
        "sessions leave this program's own out";
    bool counted = platform::FileExists(stats + counter) && writable(counter);
    bool logged = platform::FileExists(stats + log) && writable(log);
    if (counted && logged) {
      effect +=
          "; today's visits are still counted and logged (today's counter and log are "
          "the account's), but from tomorrow no counter or log can be made: visits go "
          "uncounted";
    } else {
      effect += std::string("; ") +
                (counted ? "today's visits are counted" : "visits are not counted") + " and " +
                (logged ? "logged" : "not logged") +
                ", and from tomorrow no counter or log can be made";
    }
    CannotWriteFolder(out, account, stats,
                      who + " cannot write Statistics/ (" + Owner(stats) + "'s): " + effect,
                      give + platform::QuotedForCommand(Native(stats)),
                      Repair{Repair::Kind::kGiveToAccount, stats});
    return;
  }
  std::vector<std::string> locked, paths, planted, planted_paths;
  std::string effect;
  for (const auto& entry : platform::FindFiles(stats + "*")) {
    if (!IsOwnStatisticsFile(entry.name)) continue;
    if (platform::IsLinkOrSecondName(stats + entry.name)) {
      planted.push_back(entry.name);
      planted_paths.push_back(Native(stats + entry.name));
      continue;
    }
    if (writable(entry.name)) continue;
    locked.push_back(entry.name);
    paths.push_back(Native(stats + entry.name));
    if (entry.name == counter) effect += "; today's visits are not counted";
    if (entry.name == log) effect += "; today's visits are not logged";
    if (entry.name.size() > 8 && entry.name.compare(entry.name.size() - 8, 8, ".Session") == 0) {
      effect =
          "; a session marker the account cannot remove counts as a running session in "
          "every log line" +
          effect;
    }
  }
  NamePlanted(out, "Statistics/", planted, planted_paths, "the next visit makes its own");
  if (locked.empty()) {
    out.Info(who + " can write Statistics/");
    return;
  }
  SortTogether(locked, paths);
  if (effect.empty()) {
    // Past days' files (as in a site brought from another server, its
    // files its old account's): nothing writes them again.
    out.Info(who + " can write Statistics/; of this program's files there it cannot write " +
             NameList(locked) +
             " only: past days', no longer written, so nothing suffers from them");
    return;
  }
  out.Problem(
      who + " cannot write these files in Statistics/: " + NameList(locked) + effect.substr(1),
      platform::GrantCommand(account.name, paths, platform::kRead | platform::kWrite, false,
                             give + platform::QuotedForCommand(paths)),
      RepairsOf(Repair::Kind::kGiveToAccount, paths));
}

// Folders on a file system mounted read-only: no right can mend that.
void CheckReadOnly(Collector& out, const std::string& folder, const HeadersFile& h) {
  const std::string stats = folder + "Statistics/";
  const std::string mend = "mount it read-write (findmnt -T ";
  const bool has_stats = platform::DirectoryExists(stats);
  const bool folder_read_only = platform::OnReadOnlyFileSystem(folder);
  const bool stats_read_only = has_stats && platform::OnReadOnlyFileSystem(stats);
  if (folder_read_only && (!has_stats || stats_read_only)) {
    out.Problem("The site folder " + folder +
                    " lies on a file system mounted read-only: no visit is counted or logged" +
                    (!h.exists || h.stale ? ", and the headers file cannot be built" : ""),
                mend + platform::QuotedForCommand(Native(folder)) + " names the mount)");
  } else if (stats_read_only) {
    out.Problem(
        "Statistics/ lies on a file system mounted read-only: no visit is counted or logged, "
        "and no session marker can be made",
        mend + platform::QuotedForCommand(Native(stats)) + " names the mount)");
  } else if (folder_read_only && (!h.exists || h.stale)) {
    out.Problem("The site folder " + folder +
                    " lies on a file system mounted read-only: the headers file cannot be built: "
                    "visitors see \"Headers File Not Found\" and no book names",
                mend + platform::QuotedForCommand(Native(folder)) + " names the mount)");
  }
}

// Session markers older than an hour: a visit that ended without removing
// its marker (a process killed), which every program counts as a running
// session in each log line from then on. This program's own are named with
// the command that removes them; the sibling programs' are their own.
void CheckLeftMarkers(Collector& out, const std::string& folder) {
  const std::string stats = folder + "Statistics/";
  if (!platform::DirectoryExists(stats)) return;
  const platform::FileTime hour =
      platform::FileTimeFromUnixSeconds(3600) - platform::FileTimeFromUnixSeconds(0);
  const platform::FileTime now = platform::FileTimeNow();
  std::vector<std::string> own, own_paths, others;
  for (const auto& entry : platform::FindFiles(stats + "*.Session")) {
    platform::FileTime modified = 0;
    if (!platform::GetModifiedTime(stats + entry.name, modified) || now - modified < hour) continue;
    if (IsOwnStatisticsFile(entry.name)) {
      own.push_back(entry.name);
      own_paths.push_back(Native(stats + entry.name));
    } else {
      others.push_back(entry.name);
    }
  }
  if (!own.empty()) {
    SortTogether(own, own_paths);
    out.Problem(
        "Session markers left behind in Statistics/ (older than an hour): " + NameList(own) +
            ": each counts as a running session in every log line of the four programs",
        platform::RemoveCommand(own_paths));
  }
  if (!others.empty()) {
    std::sort(others.begin(), others.end());
    out.Info("Session markers of other programs left behind in Statistics/ (older than an hour): " +
             NameList(others) +
             ": each counts as a running session in every log line; they are their programs' "
             "own, and whether to remove them is for their operator to decide");
  }
}

// Statistics/ on a file system other hosts may share: each visit is counted
// by reading the counter past this host's caches, under a lock that holds
// across hosts, as the program does; the calls that pass the caches are
// tried on one of this program's counters there (opened for reading only,
// nothing locked or written). Where they fail, counts from several hosts
// may be lost.
void CheckSharedStatistics(Collector& out, const std::string& folder) {
  const std::string stats = folder + "Statistics/";
  if (!platform::DirectoryExists(stats) || !platform::OnSharedFileSystem(stats)) return;
  const std::string siblings =
      "; the sibling programs take no lock, and their own counts may still be short";
  std::string probe;
  for (const auto& entry : platform::FindFiles(stats + "*.ctr")) {
    if (IsOwnStatisticsFile(entry.name)) probe = stats + entry.name;
  }
  // A link planted there is not followed: the check may run as root.
  if (!probe.empty() && !platform::CanReadPastCaches(probe) &&
      !platform::IsMissingNameError(platform::LastErrorCode())) {
    out.Problem(
        "Statistics/ lies on a file system other hosts may share, and this host's cache "
        "of the counter cannot be passed by (" +
            server::IOErrorText(platform::LastErrorCode()) +
            "): visits counted on several hosts at once may be lost" + siblings,
        "mount the folder so that files are read past the cache (GlusterFS: "
        "direct-io-mode=enable; NFS: noac; SMB: cache=none)");
    return;
  }
  out.Info(
      "Statistics/ lies on a file system other hosts may share: each visit is counted "
      "from the counter as it stands there, past this host's caches, under a lock that "
      "holds across hosts" +
      siblings);
}

// Every CGI request lists Statistics/ to count the sessions running, so the
// counters and logs of past days cost each request their share of that
// listing. Timed here as a listing (the quickest of three); past the limit
// (2 ms), this program's own years before this one are named with the
// command that moves each into a folder of its own, where no program looks;
// the other programs' past years are named in a line of their own, without
// a command: moving them is for their operator to decide.
void CheckStatisticsAge(Collector& out, const std::string& folder, double limit_ms) {
  namespace fs = std::filesystem;
  const std::string stats = folder + "Statistics/";
  const int this_year = platform::LocalNow().year;
  std::set<int> past_years, others_years;
  std::set<std::string> others;
  std::size_t files = 0, others_files = 0;
  auto fastest = std::chrono::steady_clock::duration::max();
  for (int round = 0; round < 3; ++round) {
    std::error_code error;
    auto start = std::chrono::steady_clock::now();
    std::size_t seen = 0;
    for (fs::directory_iterator it(fs::path(stats), error), end; !error && it != end;
         it.increment(error)) {
      ++seen;
      if (round != 0) continue;
      // "$PROGRAM$YYYY-MM-DD.ctr" or ".log"
      std::string name = it->path().filename().string();
      std::size_t second = name.find('$', 1);
      if (name.size() < 4 || name[0] != '$' || second == std::string::npos ||
          name.size() != second + 15 ||
          (name.compare(second + 11, 4, ".ctr") != 0 &&
           name.compare(second + 11, 4, ".log") != 0)) {
        continue;
      }
      int year = std::atoi(name.substr(second + 1, 4).c_str());
      if (year <= 0 || year >= this_year) continue;
      if (IsOwnStatisticsFile(name)) {
        past_years.insert(year);
      } else {
        others_years.insert(year);
        others.insert(name.substr(1, second - 1));
        ++others_files;
      }
    }
    if (error) return;
    fastest = std::min(fastest, std::chrono::steady_clock::now() - start);
    files = seen;
  }
  const double ms = std::chrono::duration<double, std::milli>(fastest).count();
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.1f", ms);
  if (ms <= limit_ms) return;
  if (!past_years.empty()) {
    out.Info("Statistics/ holds " + std::to_string(files) + " files, back to " +
                 std::to_string(*past_years.begin()) +
                 ": listing them, as every CGI request does to "
                 "count the sessions running, takes " +
                 shown + " ms; this program's days before this year can go into a folder per year",
             platform::ArchiveYearsCommand(Native(stats), server::kProgramName,
                                           std::vector<int>(past_years.begin(), past_years.end())));
  }
  if (!others_years.empty()) {
    std::string names;
    for (const std::string& name : others) names += (names.empty() ? "" : ", ") + name;
    out.Info("Statistics/ also holds " + std::to_string(others_files) +
             " day files of other programs (" + names + ") from before this year, back to " +
             std::to_string(*others_years.begin()) + ": each request lists them too (" + shown +
             " ms for the whole folder); they are their programs' own, and whether to move "
             "them is for their operator to decide");
  }
}

// The first folder on the real way to `path` (links followed) that the
// account may not search; empty when there is none.
std::string UnsearchableOnTheWay(const platform::Account& account, const std::string& path) {
  std::error_code error;
  const std::filesystem::path real =
      std::filesystem::canonical(std::filesystem::path(platform::NativePath(path)), error);
  if (error) return std::string();
  std::filesystem::path way;
  for (const auto& part : real.parent_path()) {
    way /= part;
    if (!platform::AccountMay(account, way.string(), platform::kSearch)) return way.string();
  }
  return std::string();
}

void CheckBookRights(Collector& out, const platform::Account& account, const HeadersFile& h) {
  using platform::AccountMay;
  const std::string who = "Account " + account.name;
  std::vector<std::string> folders, texts, indexes;
  bool reached = true;
  for (const std::string& books : {server::TXTPath, server::IDXPath}) {
    if (!platform::DirectoryExists(books)) continue;
    if (!AccountMay(account, books, platform::kRead | platform::kSearch)) {
      if (std::string on_the_way = UnsearchableOnTheWay(account, books); !on_the_way.empty()) {
        out.Problem(who + " cannot reach " + Native(books) + ": it may not search " + on_the_way +
                        " (" + Owner(on_the_way) +
                        "'s) on the way there: the books in it are not found, and visitors get "
                        "an error page instead",
                    "setfacl -m u:" + account.name + ":x " + platform::QuotedForCommand(on_the_way),
                    {Repair{Repair::Kind::kGrantToAccount, on_the_way, platform::kSearch}});
        reached = false;
        continue;
      }
      folders.push_back(Native(books));
      continue;
    }
    for (const auto& entry : platform::FindFiles(books + "*")) {
      if ((entry.attributes & platform::kAttrDirectory) == 0 &&
          !AccountMay(account, books + entry.name, platform::kRead)) {
        (books == server::TXTPath ? texts : indexes).push_back(Native(books + entry.name));
      }
    }
  }
  std::sort(texts.begin(), texts.end());
  std::sort(indexes.begin(), indexes.end());
  if (!folders.empty()) {
    out.Problem(who + " cannot read " + NameList(folders) +
                    ": the books in it are not found, and visitors get an error page instead",
                platform::GrantCommand(account.name, folders, platform::kRead | platform::kSearch,
                                       true, "chmod a+rx " + platform::QuotedForCommand(folders)),
                RepairsOf(Repair::Kind::kAddRights, folders, 0555));
  }
  if (!texts.empty()) {
    std::string when = !h.exists || h.stale ? "the next request rebuilds the headers file, fails, "
                                              "and visitors get only an error page"
                                            : "the page is right now, but once a book changes "
                                              "the headers file's rebuild fails and visitors "
                                              "get only an error page";
    out.Problem(who + " cannot read " + NameList(texts) + ": " + when,
                platform::GrantCommand(account.name, texts, platform::kRead, false,
                                       "chmod a+r " + platform::QuotedForCommand(texts)),
                RepairsOf(Repair::Kind::kAddRights, texts, 0444));
  }
  if (!indexes.empty()) {
    out.Problem(who + " cannot read " + NameList(indexes) +
                    ": the page only lists index files, but the search it sends visitors to "
                    "reads them",
                platform::GrantCommand(account.name, indexes, platform::kRead, false,
                                       "chmod a+r " + platform::QuotedForCommand(indexes)),
                RepairsOf(Repair::Kind::kAddRights, indexes, 0444));
  }
  if (reached && folders.empty() && texts.empty() && indexes.empty())
    out.Info(who + " can read the book files");
}

}  // namespace

int SiteReport::problems() const {
  int n = 0;
  for (const Finding& f : findings) n += f.problem ? 1 : 0;
  return n;
}

SiteReport CheckSite(const std::string& site_folder, const platform::Account* account,
                     double statistics_listing_ms) {
  SiteReport report;
  Collector out(report);
  std::string folder = site_folder;
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
  server::SetSitePaths(folder + "enPanel");
  catalogue::BuildCatalogue();
  catalogue::InitAreas();
  server::ResetScan();
  CheckBooks(out, folder);
  HeadersFile headers = LookAtHeaders(folder);
  bool rebuildable = account == nullptr ||
                     platform::AccountMay(*account, folder, platform::kWrite | platform::kSearch);
  CheckHeaders(out, headers, rebuildable, account == nullptr);
  if (account != nullptr) {
    CheckSiteFolder(out, folder, *account, headers);
    CheckStatistics(out, folder, *account);
    CheckBookRights(out, *account, headers);
  }
  CheckReadOnly(out, folder, headers);
  CheckLeftMarkers(out, folder);
  CheckSharedStatistics(out, folder);
  CheckStatisticsAge(out, folder, statistics_listing_ms);
  common::PageText.clear();
  return report;
}

std::string FormatReport(const std::string& site_folder, const SiteReport& report) {
  std::string text = "enPanel site check: " + site_folder + "\n";
  for (const Finding& f : report.findings) {
    text += (f.problem ? "PROBLEM: " : "  ") + f.text + "\n";
    // Information may come with a way to tidy up; a problem comes with its mend.
    if (!f.mend.empty()) text += (f.problem ? "  mend: " : "    tidy up: ") + f.mend + "\n";
  }
  int problems = report.problems();
  text += problems == 0
              ? "The site is sound.\n"
              : std::to_string(problems) + (problems == 1 ? " problem.\n" : " problems.\n");
  return text;
}

bool CarryOutRepairs(const platform::Account& account, const SiteReport& report, std::string& log) {
  bool all = true;
  for (const Finding& f : report.findings) {
    if (f.repairs.empty()) continue;
    log += "fixing: " + f.mend + "\n";
    for (const Repair& r : f.repairs) {
      bool done = false;
      switch (r.kind) {
        case Repair::Kind::kGiveToAccount:
          done = platform::GiveToAccount(account, r.path);
          break;
        case Repair::Kind::kGiveToGroup:
          done = platform::GiveToAccountsGroup(account, r.path, r.mode);
          break;
        case Repair::Kind::kAddRights:
          done = platform::AddRights(account, r.path, r.mode);
          break;
        case Repair::Kind::kGrantToAccount:
          done = platform::GrantToAccount(account, r.path, r.mode);
          break;
      }
      if (!done) {
        log += "  failed for " + r.path + "\n";
        all = false;
      }
    }
  }
  return all;
}

}  // namespace check
