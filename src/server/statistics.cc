#include "server/statistics.h"

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

#include "common/dates.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/messages.h"
#include "server/file_utils.h"
#include "server/repeated_fault.h"
#include "server/site_paths.h"

namespace server {

std::string ProgName;
std::string RemoteAddr;
std::string HostName;
std::string DayStamp;
std::string CounterFile;
std::string LogFile;
std::string SessionFile;
std::string OldBrowsePattern;

namespace {

using common::Padded;

constexpr int kAttempts = 21;
constexpr int kSharedAttempts = 2000;
constexpr int kRepeats = 20;

ClockFunction g_clock = nullptr;
platform::LocalTime g_session_start;
bool g_own_marker = false;
// What a visit may fail to leave here, each told as repeated_fault.h says.
RepeatedFault g_no_marker("no session marker made");
RepeatedFault g_not_counted("not counted");
RepeatedFault g_marker_left("the session marker left");
RepeatedFault g_no_line("no whole log line");
std::unique_ptr<platform::KeptNames> g_markers;  // a persistent process's
std::unique_ptr<platform::KeptNames> g_browse_names;
// A persistent process keeps the day's counter and log open from one visit
// to the next, while the notices of Statistics/ show neither replaced.
platform::LockedFile g_counter;
platform::AppendingFile g_log;

std::string MarkersPattern() { return StatPath + "*.Session"; }

platform::LocalTime Now() { return g_clock != nullptr ? g_clock() : platform::LocalNow(); }

constexpr long long kDayMilliseconds = 86400000LL;

// A number of milliseconds within one day, in its parts.
struct TimeOfDay {
  int hours, minutes, seconds, milliseconds;
};
TimeOfDay SplitDay(long long ms) {
  return TimeOfDay{static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                   static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000)};
}

long long MillisecondsOf(const platform::LocalTime& t) {
  long days = common::DaysFromCivil(t.year, t.month, t.day);
  return ((static_cast<long long>(days) * 24 + t.hour) * 60 + t.minute) * 60000LL +
         t.second * 1000LL + t.millisecond;
}

std::string StatFile(const std::string& stamp, const char* extension) {
  return StatPath + StatisticsFileName(ProgName, stamp, extension);
}

// The time `t` plus `ms` milliseconds (fewer, when `ms` is below 0).
platform::LocalTime Later(const platform::LocalTime& t, long long ms) {
  long long total = MillisecondsOf(t) + ms;  // days since 1899, never below 0 here
  platform::LocalTime later;
  common::CivilFromDays(static_cast<long>(total / kDayMilliseconds), later.year, later.month,
                        later.day);
  TimeOfDay in_day = SplitDay(total % kDayMilliseconds);
  later.hour = in_day.hours;
  later.minute = in_day.minutes;
  later.second = in_day.seconds;
  later.millisecond = in_day.milliseconds;
  return later;
}

void CreateSessionMarker() {
  g_own_marker = false;
  g_session_start = Now();
  // Marker names are hundredths of a second. A name taken by another session
  // of the same moment is passed over at once for the next free hundredth:
  // the marker's name runs ahead of the clock, by as many hundredths as there
  // are sessions of that moment; the session's start stays the real one. At
  // the first taken name the folder's markers are looked at once, so that
  // every taken name after it is passed over without an attempt.
  std::unordered_set<std::string> taken;
  bool looked = false;
  int error = 0;
  long long step = 0;
  for (int attempt = 0; attempt < kAttempts; ++step) {
    std::string name = StatisticsFileName(
        ProgName, FormatSessionStamp(Later(g_session_start, 10 * step)), ".Session");
    if (taken.count(name) != 0) continue;
    ++attempt;
    SessionFile = StatPath + name;
    platform::CreateResult result = platform::CreateNewFile(SessionFile);
    if (result == platform::CreateResult::kCreated) {
      g_own_marker = true;
      g_no_marker.Passed(
          [] { return "Session markers made again in " + platform::OperatorPath(StatPath); });
      return;
    }
    error = platform::LastErrorCode();
    if (result == platform::CreateResult::kExists && !looked) {
      looked = true;
      platform::VisitFiles(StatPath + "*.Session", [&taken](const platform::DirEntry& entry) {
        taken.insert(entry.name);
        return true;
      });
    }
  }
  g_no_marker.Hit("No session marker made in " + platform::OperatorPath(StatPath) + ": " +
                  IOErrorText(error));
}

// Whether a folder lies on a file system that other hosts share, judged
// once for each folder it is asked of in turn (a process asks of the same
// ones at every visit).
class SharedJudgement {
 public:
  bool Of(const std::string& folder) {
    if (judged_ != folder) {
      judged_ = folder;
      shared_ = platform::OnSharedFileSystem(folder);
    }
    return shared_;
  }

 private:
  std::string judged_;
  bool shared_ = false;
};

// Where the browse files' folder was last looked at by a persistent process
// on a shared file system: for which pattern, and the stamp of the folder
// (or, while it is missing, of the folder it would be in) once done.
struct BrowseLook {
  std::string pattern;
  platform::FileStamp stamp;
};
std::unique_ptr<BrowseLook> g_browse_look;

void DeleteOldBrowseFiles() {
  std::string folder = common::ExtractFilePath(OldBrowsePattern);
  static SharedJudgement browse_folder;
  // A persistent process on a local disk keeps the names of the day's old
  // browse files from the folder's notices: nothing to look at while none
  // comes.
  if (g_markers && !browse_folder.Of(folder)) {
    if (!g_browse_names) g_browse_names = std::make_unique<platform::KeptNames>();
    std::vector<std::string> old;
    g_browse_names->Visit(OldBrowsePattern,
                          [&old](std::string_view name) { old.emplace_back(name); });
    for (const std::string& name : old) platform::RemoveFile(folder + name);
    return;
  }
  // A persistent process on a shared file system, where looking for a
  // folder that is not there crosses the network several times (the name
  // in every letter case), looks again only once the folder (or, while it
  // is missing, the one it would be in) has changed since it last looked.
  if (g_browse_look && g_browse_look->pattern == OldBrowsePattern &&
      platform::StillStands(g_browse_look->stamp)) {
    return;
  }
  for (const auto& entry : platform::FindFiles(OldBrowsePattern)) {
    platform::RemoveFile(folder + entry.name);
  }
  if (!g_markers || !browse_folder.Of(folder)) return;
  std::string stamped = folder;
  if (!platform::DirectoryExists(folder)) {
    stamped = common::ExtractFilePath(folder.substr(0, folder.size() - 1));
  }
  g_browse_look =
      std::make_unique<BrowseLook>(BrowseLook{OldBrowsePattern, platform::StampOf(stamped)});
}

// Whether Statistics/ is shared: there the counter is read past this host's
// caches, and its lock is held until the log line is appended (StatsEnd).
bool StatisticsShared() {
  static SharedJudgement statistics;
  return statistics.Of(StatPath);
}

// Where the counter cannot be read past this host's caches, the operator
// hears it once, with what to change.
void TellCountsMayBeShort(const std::string& reason) {
  static bool told = false;
  if (told) return;
  told = true;
  platform::OperatorMessage(
      "Visits may be counted short in " + platform::OperatorPath(StatPath) +
      ", a folder several hosts may share: this host's cache of the counter cannot be "
      "passed by (" +
      reason +
      "); mount the folder so that files are read past the cache (GlusterFS: "
      "direct-io-mode=enable; NFS: noac; SMB: cache=none)");
}

// Counts the visit in the day's counter; `counter` is left locked once the
// visit is counted (otherwise it holds no lock). Another request holds the
// lock usually for microseconds: the attempts back off from 0.1 ms to 100 ms,
// some 1.2 s over all. Where hosts share the folder, a holder's every step
// crosses the network and more processes wait their turn: there the pauses
// stop growing at 2 ms, so that a turn is not slept through, and the
// attempts go on for some 10 s.
void CountVisit(platform::LockedFile& counter) {
  std::string text = "0";
  std::string failure;
  const bool shared = StatisticsShared();
  const int attempts = shared ? kSharedAttempts : kAttempts;
  const int longest_pause_us = shared ? 2000 : 100000;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (!counter.TryOpenLocked(CounterFile)) {
      failure = IOErrorText(platform::LastErrorCode());
      if (counter.Busy()) {
        platform::SleepMicroseconds(std::min(100 << std::min(attempt, 10), longest_pause_us));
      }
      continue;
    }
    // Another host may have counted since this host last read the file.
    if (shared && !counter.DropCached()) {
      TellCountsMayBeShort(IOErrorText(platform::LastErrorCode()));
    }
    std::string contents;
    if (!counter.ReadAll(contents)) {
      failure = IOErrorText(platform::LastErrorCode());
      counter.Close();
      continue;
    }
    if (!contents.empty()) text = contents.substr(0, contents.find_first_of("\r\n"));
    auto value = common::ParseInt32(text);
    if (!value || *value == INT32_MAX) {
      failure = "it holds no count";
      counter.Close();
      continue;
    }
    if (counter.Rewrite(std::to_string(*value + 1) + "\r\n")) {
      g_not_counted.Passed(
          [] { return "Visits counted again in " + platform::OperatorPath(CounterFile); });
      return;
    }
    failure = IOErrorText(platform::LastErrorCode());
    counter.Close();
  }
  g_not_counted.Hit("Visit not counted in " + platform::OperatorPath(CounterFile) + ": " + failure);
}

// Deletes the session's own marker: while it is there, at most 20 times. A
// delete that succeeds leaves no file, so only a failed one looks again.
// True when this call removed it.
bool RemoveSessionMarker() {
  bool removed = !g_own_marker;
  for (int i = 0; !removed && i < kRepeats; ++i) {
    removed = platform::RemoveFile(SessionFile) || !platform::PathExists(SessionFile);
  }
  if (!removed) {
    g_marker_left.Hit("Session marker " + platform::OperatorPath(SessionFile) +
                      " not removed (later visits count it as running): " +
                      IOErrorText(platform::LastErrorCode()));
  } else if (g_own_marker) {
    g_marker_left.Passed(
        [] { return "Session markers removed again in " + platform::OperatorPath(StatPath); });
  }
  const bool removed_now = removed && g_own_marker;
  g_own_marker = false;
  return removed_now;
}

// The day's log is made when missing (at most 20 times, never truncating a
// log that another request has just made). False when it still is not there.
bool MakeSureLogExists() {
  if (platform::PathExists(LogFile)) return true;
  int error = 0;
  for (int i = 0; i < kRepeats; ++i) {
    if (platform::CreateNewFile(LogFile) == platform::CreateResult::kFailed) {
      error = platform::LastErrorCode();
    }
    if (platform::PathExists(LogFile)) return true;
  }
  g_no_line.Hit("No log line written: cannot create " + platform::OperatorPath(LogFile) + ": " +
                IOErrorText(error));
  return false;
}

// The sessions running as this one ends: the markers of every program in the
// statistics folder, this session counted in its own program and in the
// total (its marker is already gone).
struct SessionCounts {
  int ar_panel = 0;  // aO
  int en_panel = 0;  // eO
  int qry_gate = 0;  // Sr
  int txt_view = 0;  // Ds
  int total = 1;     // TOT
};

// The programs that keep markers here, in the order a marker's name is
// tested against them (the first whose name it holds counts it).
struct Program {
  const char* name;
  int SessionCounts::*count;
};
constexpr Program kPrograms[] = {{"arPanel", &SessionCounts::ar_panel},
                                 {"enPanel", &SessionCounts::en_panel},
                                 {"qryGate", &SessionCounts::qry_gate},
                                 {"txtView", &SessionCounts::txt_view}};

// `own_removed`: the name of this session's marker, just removed, where the
// markers' names were brought up to date as the visit ended; otherwise empty.
SessionCounts CountSessions(const std::string& own_removed) {
  SessionCounts counts;
  for (const Program& program : kPrograms) {
    if (ProgName == program.name) counts.*program.count = 1;
  }
  // Statistics/ holds every day's counters and logs and changes with every
  // request: a CGI process reads its names as they come and keeps none; a
  // persistent one keeps the markers' names from notices.
  auto count = [&counts](std::string_view name) {
    ++counts.total;
    for (const Program& program : kPrograms) {
      if (name.find(program.name) != std::string_view::npos) {
        ++(counts.*program.count);
        break;
      }
    }
  };
  if (g_markers && !own_removed.empty()) {
    g_markers->VisitAsBrought(MarkersPattern(), own_removed, count);
  } else if (g_markers) {
    g_markers->Visit(MarkersPattern(), count);
  } else {
    platform::VisitNamesOnce(MarkersPattern(), count);
  }
  return counts;
}

std::string LogLine(const platform::LocalTime& end, const SessionCounts& sessions) {
  return FormatEndTime(end) +
         FormatDuration(MillisecondsOf(end) - MillisecondsOf(g_session_start)) +
         "; SimltSessn:" + " aO=" + std::to_string(sessions.ar_panel) +
         " eO=" + std::to_string(sessions.en_panel) + " Sr=" + std::to_string(sessions.qry_gate) +
         " Ds=" + std::to_string(sessions.txt_view) + " TOT=" + std::to_string(sessions.total) +
         " RemotAddr=[" + LogSafe(RemoteAddr) + "]" + " Host=[" + LogSafe(HostName) + "]\r\n";
}

// Appends the line, up to 21 times, but never twice: a line cut short stays.
// A persistent process appends through the log it keeps open.
void AppendLogLine(const std::string& line, bool keep) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    platform::AppendResult result = platform::AppendResult::kNothingWritten;
    if (!keep) {
      result = platform::AppendToFile(LogFile, line);
    } else if (g_log.IsOpenFor(LogFile) || g_log.Open(LogFile)) {
      result = g_log.Append(line);
      if (result != platform::AppendResult::kAppended) g_log.Close();
    }
    switch (result) {
      case platform::AppendResult::kAppended:
        g_no_line.Passed(
            [] { return "Log lines written again to " + platform::OperatorPath(LogFile); });
        return;
      case platform::AppendResult::kCutShort:
        g_no_line.Hit("Log line cut short in " + platform::OperatorPath(LogFile) + ": " +
                      IOErrorText(platform::LastErrorCode()));
        return;
      case platform::AppendResult::kNothingWritten:
        break;
    }
  }
  g_no_line.Hit("No log line written to " + platform::OperatorPath(LogFile) + ": " +
                IOErrorText(platform::LastErrorCode()));
}

}  // namespace

std::string StatisticsFileName(const std::string& program, const std::string& stamp,
                               const char* extension) {
  return "$" + program + "$" + stamp + extension;
}

std::string FormatDayStamp(const platform::LocalTime& t) {
  return std::to_string(t.year) + "-" + Padded(t.month, 2) + "-" + Padded(t.day, 2);
}

std::string FormatSessionStamp(const platform::LocalTime& t) {
  return std::to_string(t.year) + "-" + Padded(t.month, 2) + "-" + Padded(t.day, 2) + "@" +
         Padded(t.hour, 2) + "-" + Padded(t.minute, 2) + "-" + Padded(t.second, 2) + "." +
         Padded(t.millisecond / 10, 2);
}

std::string FormatEndTime(const platform::LocalTime& t) {
  return std::to_string(t.year) + "/" + Padded(t.month, 2) + "/" + Padded(t.day, 2) + " " +
         Padded(t.hour, 2) + ":" + Padded(t.minute, 2) + ":" + Padded(t.second, 2);
}

std::string FormatDuration(long long ms) {
  TimeOfDay t = SplitDay(((ms % kDayMilliseconds) + kDayMilliseconds) % kDayMilliseconds);
  std::string text = "; Dur=";
  if (t.hours != 0) text += Padded(t.hours, 2) + "h ";
  return text + Padded(t.minutes, 2) + "m:" + Padded(t.seconds, 2) + "." +
         Padded(t.milliseconds, 3) + "s";
}

std::string LogSafe(const std::string& text) {
  std::string safe = text;
  for (char& c : safe) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return safe;
}

void SetStatsClock(ClockFunction clock) { g_clock = clock; }

void StatsBegin(const common::WebRequest& request) {
  RemoteAddr = request.GetStringVariable(common::kRemoteAddress);
  HostName = request.GetStringVariable(common::kHost);
  ProgName = kProgramName;
  platform::LocalTime now = Now();
  DayStamp = FormatDayStamp(now);
  CounterFile = StatFile(DayStamp, ".ctr");
  LogFile = StatFile(DayStamp, ".log");
  // The moment exactly one day before now.
  OldBrowsePattern = ZafkarPath + "BRWS" + FormatDayStamp(Later(now, -86400000LL)) + "*.*";
  CreateSessionMarker();
  DeleteOldBrowseFiles();
}

void StatsEnd() {
  // On a local disk the visit is counted first. Where hosts share
  // Statistics/, its line goes in while the counter's lock is held (another
  // host's append could come between the pieces a client may cut a line
  // into), so there the visit is counted last, just before the line: the
  // lock, which every process of this program on every host waits for, is
  // held for those two steps only.
  platform::LockedFile own;
  const bool shared = StatisticsShared();
  // Kept open only where the notices tell whether another file took the name.
  const bool kept = g_markers && !shared;
  platform::LockedFile& counter = kept ? g_counter : own;
  bool log_stands = false;
  if (kept) {
    const std::vector<bool> stand =
        g_markers->NamesStand(MarkersPattern(), {StatisticsFileName(ProgName, DayStamp, ".ctr"),
                                                 StatisticsFileName(ProgName, DayStamp, ".log")});
    if (!stand[0]) counter.Close();
    log_stands = stand[1] && g_log.IsOpenFor(LogFile);
    if (!log_stands) g_log.Close();
  }
  if (!shared) {
    CountVisit(counter);
    if (kept) {
      counter.Unlock();
    } else {
      counter.Close();
    }
  }
  const bool own_removed = RemoveSessionMarker();
  const bool log_exists = log_stands || MakeSureLogExists();
  std::string line;
  if (log_exists) {
    // The markers' names were brought up to date as the visit ended (kept):
    // but for this session's own marker, removed since.
    std::string brought_but;
    if (kept && own_removed) brought_but = SessionFile.substr(StatPath.size());
    line = LogLine(Now(), CountSessions(brought_but));
  }
  if (shared) CountVisit(counter);
  if (log_exists) AppendLogLine(line, kept);
}

void KeepSessionMarkersFromNowOn() {
  if (!g_markers) g_markers = std::make_unique<platform::KeptNames>();
}

void ResetStatistics() {
  for (std::string* value : {&ProgName, &RemoteAddr, &HostName, &DayStamp, &CounterFile, &LogFile,
                             &SessionFile, &OldBrowsePattern}) {
    value->clear();
  }
  g_session_start = platform::LocalTime{};
  g_own_marker = false;
}

void ForgetStatisticsFaults() {
  for (RepeatedFault* fault : {&g_no_marker, &g_not_counted, &g_marker_left, &g_no_line}) {
    fault->Forget();
  }
  g_markers.reset();
  g_browse_names.reset();
  g_browse_look.reset();
  g_counter.Close();
  g_log.Close();
}

void TellUntoldStatisticsFaults() {
  for (RepeatedFault* fault : {&g_no_marker, &g_not_counted, &g_marker_left, &g_no_line}) {
    fault->TellUntold();
  }
}

}  // namespace server
