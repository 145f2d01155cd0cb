#include "server/statistics.h"

#include <algorithm>
#include <unordered_set>

#include "common/dates.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "server/file_utils.h"
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
constexpr int kRepeats = 20;

ClockFunction g_clock = nullptr;
platform::LocalTime g_session_start;
bool g_own_marker = false;

platform::LocalTime Now() { return g_clock != nullptr ? g_clock() : platform::LocalNow(); }

long long MillisecondsOf(const platform::LocalTime& t) {
  long days = common::DaysFromCivil(t.year, t.month, t.day);
  return ((static_cast<long long>(days) * 24 + t.hour) * 60 + t.minute) * 60000LL +
         t.second * 1000LL + t.millisecond;
}

std::string StatFile(const std::string& stamp, const char* extension) {
  return StatPath + "$" + ProgName + "$" + stamp + extension;
}

// The time `t` plus `ms` milliseconds (fewer, when `ms` is below 0).
platform::LocalTime Later(const platform::LocalTime& t, long long ms) {
  long long total = MillisecondsOf(t) + ms;  // days since 1899, never below 0 here
  long long day_ms = 86400000LL;
  long days = static_cast<long>(total / day_ms);
  long long in_day = total % day_ms;
  platform::LocalTime later;
  common::CivilFromDays(days, later.year, later.month, later.day);
  later.hour = static_cast<int>(in_day / 3600000);
  later.minute = static_cast<int>(in_day / 60000 % 60);
  later.second = static_cast<int>(in_day / 1000 % 60);
  later.millisecond = static_cast<int>(in_day % 1000);
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
    std::string name =
        "$" + ProgName + "$" + FormatSessionStamp(Later(g_session_start, 10 * step)) + ".Session";
    if (taken.count(name) != 0) continue;
    ++attempt;
    SessionFile = StatPath + name;
    platform::CreateResult result = platform::CreateNewFile(SessionFile);
    if (result == platform::CreateResult::kCreated) {
      g_own_marker = true;
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
  platform::OperatorMessage("No session marker made in " + StatPath + ": " + IOErrorText(error));
}

void DeleteOldBrowseFiles() {
  std::string folder = common::ExtractFilePath(OldBrowsePattern);
  for (const auto& entry : platform::FindFiles(OldBrowsePattern)) {
    platform::RemoveFile(folder + entry.name);
  }
}

void CountVisit() {
  std::string text = "0";
  std::string failure;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    platform::LockedFile counter;
    if (!counter.TryOpenLocked(CounterFile)) {
      // Another request holds it, usually for microseconds. Back off from
      // 0.1 ms to 100 ms: some 1.2 s over all attempts.
      failure = IOErrorText(platform::LastErrorCode());
      if (counter.Busy()) {
        platform::SleepMicroseconds(std::min(100 << std::min(attempt, 10), 100000));
      }
      continue;
    }
    std::string contents;
    if (!counter.ReadAll(contents)) {
      failure = IOErrorText(platform::LastErrorCode());
      continue;
    }
    if (!contents.empty()) text = contents.substr(0, contents.find_first_of("\r\n"));
    auto value = common::ParseInt32(text);
    if (!value || *value == INT32_MAX) {
      failure = "it holds no count";
      continue;
    }
    if (counter.Rewrite(std::to_string(*value + 1) + "\r\n")) return;
    failure = IOErrorText(platform::LastErrorCode());
  }
  platform::OperatorMessage("Visit not counted in " + CounterFile + ": " + failure);
}

}  // namespace

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
  constexpr long long kDay = 86400000LL;
  ms = ((ms % kDay) + kDay) % kDay;
  int hours = static_cast<int>(ms / 3600000);
  int minutes = static_cast<int>(ms / 60000 % 60);
  int seconds = static_cast<int>(ms / 1000 % 60);
  int millis = static_cast<int>(ms % 1000);
  std::string text = "; Dur=";
  if (hours != 0) text += Padded(hours, 2) + "h ";
  return text + Padded(minutes, 2) + "m:" + Padded(seconds, 2) + "." + Padded(millis, 3) + "s";
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
  ProgName = "enPanel";
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
  CountVisit();

  // A delete that succeeds leaves no file, so only a failed one looks again.
  bool removed = !g_own_marker;
  for (int i = 0; !removed && i < kRepeats; ++i) {
    removed = platform::RemoveFile(SessionFile) || !platform::PathExists(SessionFile);
  }
  if (!removed) {
    platform::OperatorMessage("Session marker " + SessionFile +
                              " not removed (later visits count it as running): " +
                              IOErrorText(platform::LastErrorCode()));
  }
  g_own_marker = false;

  bool log_exists = platform::PathExists(LogFile);
  for (int i = 0; i < kRepeats && !log_exists; ++i) {
    platform::CreateNewFile(LogFile);  // never truncates a log another request just made
    log_exists = platform::PathExists(LogFile);
  }
  if (!log_exists) {
    platform::OperatorMessage("No log line written: cannot create " + LogFile + ": " +
                              IOErrorText(platform::LastErrorCode()));
    return;
  }

  struct Category {
    const char* program;
    int count;
  };
  Category counts[] = {{"arPanel", 0}, {"enPanel", 0}, {"qryGate", 0}, {"txtView", 0}};
  for (auto& c : counts) {
    if (ProgName == c.program) c.count = 1;
  }
  int total = 1;
  for (const auto& entry : platform::FindFiles(StatPath + "*.Session")) {
    ++total;
    for (auto& c : counts) {
      if (entry.name.find(c.program) != std::string::npos) {
        ++c.count;
        break;
      }
    }
  }

  platform::LocalTime end = Now();
  std::string line =
      FormatEndTime(end) + FormatDuration(MillisecondsOf(end) - MillisecondsOf(g_session_start)) +
      "; SimltSessn:" + " aO=" + std::to_string(counts[0].count) +
      " eO=" + std::to_string(counts[1].count) + " Sr=" + std::to_string(counts[2].count) +
      " Ds=" + std::to_string(counts[3].count) + " TOT=" + std::to_string(total) + " RemotAddr=[" +
      LogSafe(RemoteAddr) + "]" + " Host=[" + LogSafe(HostName) + "]\r\n";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    switch (platform::AppendToFile(LogFile, line)) {
      case platform::AppendResult::kAppended:
        return;
      case platform::AppendResult::kCutShort:
        // Part of the line stands in the log: a second try would double it.
        platform::OperatorMessage("Log line cut short in " + LogFile + ": " +
                                  IOErrorText(platform::LastErrorCode()));
        return;
      case platform::AppendResult::kNothingWritten:
        break;
    }
  }
  platform::OperatorMessage("No log line written to " + LogFile + ": " +
                            IOErrorText(platform::LastErrorCode()));
}

}  // namespace server
