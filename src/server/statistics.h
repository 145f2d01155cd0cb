// Visit statistics in the statistics folder, shared with the sibling programs
// arPanel, qryGate and txtView: a marker file while the request runs, a daily
// counter, and a daily log line telling when the request ended, how long it
// took and how many sessions of each program were running then.
#pragma once
#include <string>

#include "common/web_action.h"
#include "platform/clock.h"

namespace server {

// This program's name in the statistics files' names.
inline constexpr const char* kProgramName = "enPanel";

extern std::string ProgName;
extern std::string RemoteAddr;
extern std::string HostName;
extern std::string DayStamp;
extern std::string CounterFile;
extern std::string LogFile;
extern std::string SessionFile;
extern std::string OldBrowsePattern;

// Marks the session start and removes yesterday's browse files.
void StatsBegin(const common::WebRequest& request);
// Ends the session: counter, marker removal, log line.
void StatsEnd();
// What a persistent process's visits met since it last told of a failure,
// told as the process ends.
void TellUntoldStatisticsFaults();
// Those failures forgotten, and nothing kept from one request to the next,
// as a new process has it (tests).
void ForgetStatisticsFaults();
// Every value above empty and no session started, as a new process has it.
void ResetStatistics();
// From now on the running sessions' markers are kept between requests
// (platform::KeptNames): the process is a persistent one, and Statistics/
// need not be listed at every visit's end.
void KeepSessionMarkersFromNowOn();

// "$enPanel$2026-12-08.ctr": a statistics file's name for a program, a stamp
// (the day's, or a session's) and an extension.
std::string StatisticsFileName(const std::string& program, const std::string& stamp,
                               const char* extension);

// "2026-12-08": year unpadded, month and day with two digits.
std::string FormatDayStamp(const platform::LocalTime& t);
// "2026-12-08@03-28-52.45": the last field is hundredths of a second.
std::string FormatSessionStamp(const platform::LocalTime& t);
// Field 1 and 2 of the log line: the end time and "; Dur=..." for a duration
// in milliseconds, reduced to its time of day.
std::string FormatEndTime(const platform::LocalTime& t);
std::string FormatDuration(long long milliseconds);
// Every byte below 0x20, and 0x7F, becomes "?".
std::string LogSafe(const std::string& text);

// Tests set the clock; nullptr is the system clock.
using ClockFunction = platform::LocalTime (*)();
void SetStatsClock(ClockFunction clock);

}  // namespace server
