#include "server/statistics.h"

#include <algorithm>

#include "common/dates.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/files.h"
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

void CreateSessionMarker() {
  g_own_marker = false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    g_session_start = Now();
    SessionFile = StatFile(FormatSessionStamp(g_session_start), ".Session");
    platform::CreateResult result = platform::CreateNewFile(SessionFile);
    if (result == platform::CreateResult::kCreated) {
      g_own_marker = true;
      return;
    }
    if (result == platform::CreateResult::kExists) {
      // Another session holds this hundredth of a second. A millisecond later
      // the stamp may be free; under heavy load the attempts run out after
      // some 25 ms and the request goes on without a marker.
      platform::SleepMilliseconds(1);
    }
  }
}

void DeleteOldBrowseFiles() {
  std::string folder = common::ExtractFilePath(OldBrowsePattern);
  for (const auto& entry : platform::FindFiles(OldBrowsePattern)) {
    platform::RemoveFile(folder + entry.name);
  }
}

void CountVisit() {
  std::string text = "0";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    platform::LockedFile counter;
    if (!counter.TryOpenLocked(CounterFile)) {
      // Another request holds it, usually for microseconds; but a holder at
      // idle priority may wait long for the processor on a busy machine. Back
      // off from 0.1 ms to 100 ms: some 1.2 s over all attempts.
      platform::SleepMicroseconds(std::min(100 << std::min(attempt, 10), 100000));
      continue;
    }
    std::string contents;
    if (!counter.ReadAll(contents)) continue;
    if (!contents.empty()) text = contents.substr(0, contents.find_first_of("\r\n"));
    auto value = common::ParseInt32(text);
    if (!value || *value == INT32_MAX) continue;
    if (counter.Rewrite(std::to_string(*value + 1) + "\r\n")) return;
  }
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
  int y = 0, m = 0, d = 0;
  common::CivilFromDays(common::DaysFromCivil(now.year, now.month, now.day) - 1, y, m, d);
  platform::LocalTime yesterday;
  yesterday.year = y;
  yesterday.month = m;
  yesterday.day = d;
  OldBrowsePattern = ZafkarPath + "BRWS" + FormatDayStamp(yesterday) + "*.*";
  CreateSessionMarker();
  DeleteOldBrowseFiles();
}

void StatsEnd() {
  CountVisit();

  // A delete that succeeds leaves no file, so only a failed one looks again.
  for (int i = 0; g_own_marker && i < kRepeats; ++i) {
    if (platform::RemoveFile(SessionFile) || !platform::PathExists(SessionFile)) break;
  }
  g_own_marker = false;

  bool log_exists = platform::PathExists(LogFile);
  for (int i = 0; i < kRepeats && !log_exists; ++i) {
    platform::CreateNewFile(LogFile);  // never truncates a log another request just made
    log_exists = platform::PathExists(LogFile);
  }
  if (!log_exists) return;

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
    if (platform::AppendToFile(LogFile, line)) return;
  }
}

}  // namespace server
