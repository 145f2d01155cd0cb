#include "server/statistics.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "server/file_utils.h"
#include "server/site_paths.h"
#include "support/test_site.h"

namespace server {
namespace {

platform::LocalTime g_now;
int g_step_ms = 0;  // how far the clock moves on each reading

void Advance(platform::LocalTime& t, int ms) {
  int total = t.millisecond + ms;
  t.millisecond = total % 1000;
  t.second += total / 1000;
}

platform::LocalTime FakeClock() {
  platform::LocalTime t = g_now;
  Advance(g_now, g_step_ms);
  return t;
}

platform::LocalTime At(int h, int m, int s, int ms) {
  platform::LocalTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 7;
  t.hour = h;
  t.minute = m;
  t.second = s;
  t.millisecond = ms;
  return t;
}

class StatisticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StatPath = dir.path() + "/Statistics\\";
    ZafkarPath = dir.path() + "/Zafkar\\";
    testkit::MakeDirs(dir.path() + "/Statistics");
    SetStatsClock(&FakeClock);
    ForgetStatisticsFaults();  // each test is a process of its own
    g_step_ms = 0;
    request.variables[common::kRemoteAddress] = "10.0.0.5";
    request.variables[common::kHost] = "localhost";
  }
  void TearDown() override { SetStatsClock(nullptr); }

  void Request(platform::LocalTime begin, platform::LocalTime end) {
    g_now = begin;
    StatsBegin(request);
    g_now = end;
    StatsEnd();
  }
  std::string Stat(const std::string& name) { return dir.path() + "/Statistics/" + name; }
  testkit::TestRequest request;

  testkit::TempDir dir;
};

TEST_F(StatisticsTest, FirstRequestOfTheDay) {
  Request(At(8, 21, 33, 0), At(8, 21, 34, 52));
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-07.ctr")), "1\r\n");
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-07.log")),
            "2026/12/07 08:21:34; Dur=00m:01.052s; SimltSessn: aO=0 eO=1 Sr=0 Ds=0 TOT=1 "
            "RemotAddr=[10.0.0.5] Host=[localhost]\r\n");
  EXPECT_EQ(testkit::ListDir(dir.path() + "/Statistics").size(), 2u);  // the marker is gone
  Request(At(9, 0, 0, 0), At(9, 0, 0, 5));
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-07.ctr")), "2\r\n");
}

TEST_F(StatisticsTest, ACounterThatIsNoNumberKeepsItsContent) {
  testkit::WriteFile(Stat("$enPanel$2026-12-07.ctr"), "many\r\n");
  Request(At(8, 0, 0, 0), At(8, 0, 0, 1));
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-07.ctr")), "many\r\n");
  EXPECT_NE(testkit::ReadFile(Stat("$enPanel$2026-12-07.log")), "");
}

TEST_F(StatisticsTest, LineFormats) {
  EXPECT_EQ(FormatDuration(5), "; Dur=00m:00.005s");
  EXPECT_EQ(FormatDuration(59 * 60000 + 59999), "; Dur=59m:59.999s");
  EXPECT_EQ(FormatDuration(3723004), "; Dur=01h 02m:03.004s");
  EXPECT_EQ(FormatDuration(86400000LL + 61000), "; Dur=01m:01.000s");  // time of day only
  platform::LocalTime t = At(3, 4, 5, 67);
  t.year = 987;
  t.month = 1;
  t.day = 2;
  EXPECT_EQ(FormatEndTime(t), "987/01/02 03:04:05");
  EXPECT_EQ(FormatDayStamp(t), "987-01-02");
  EXPECT_EQ(FormatSessionStamp(t), "987-01-02@03-04-05.06");
  EXPECT_EQ(LogSafe(std::string("a\r\nb\x7F\x01 c\xC7", 9)), "a??b?? c\xC7");
}

TEST_F(StatisticsTest, SessionsOfEveryProgramAreCounted) {
  for (const char* name :
       {"$arPanel$2026-12-07@08-00-00.00.Session", "$qryGate$2026-12-07@08-00-00.00.Session",
        "$txtView$2026-12-07@08-00-00.00.Session", "$enPanel$2026-12-07@07-00-00.00.Session",
        "$ENPANEL$2026-12-07@06-00-00.00.Session", "$other$x.Session", "$arPanel$old.txt"}) {
    testkit::WriteFile(Stat(name), "");
  }
  request.variables[common::kHost] = "evil\r\n2026/01/01 forged";
  Request(At(8, 0, 0, 0), At(8, 0, 1, 0));
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-07.log")),
            "2026/12/07 08:00:01; Dur=00m:01.000s; SimltSessn: aO=1 eO=2 Sr=1 Ds=1 TOT=7 "
            "RemotAddr=[10.0.0.5] Host=[evil??2026/01/01 forged]\r\n");
}

TEST_F(StatisticsTest, YesterdaysBrowseFilesOnly) {
  for (const char* name : {"BRWS2026-12-06a.htm", "brws2026-12-06B.HTM", "BRWS2026-12-05a.htm",
                           "BRWS2026-12-07a.htm", "XBRWS2026-12-06.htm"}) {
    testkit::WriteFile(dir.path() + "/Zafkar/" + name, "x");
  }
  platform::LocalTime first_of_month = At(1, 0, 0, 0);
  first_of_month.day = 1;
  first_of_month.month = 1;
  testkit::WriteFile(dir.path() + "/Zafkar/BRWS2025-12-31x.htm", "x");
  Request(At(8, 0, 0, 0), At(8, 0, 0, 1));
  EXPECT_EQ(testkit::ListDir(dir.path() + "/Zafkar"),
            (std::vector<std::string>{"BRWS2025-12-31x.htm", "BRWS2026-12-05a.htm",
                                      "BRWS2026-12-07a.htm", "XBRWS2026-12-06.htm"}));
  Request(first_of_month, first_of_month);  // 2026-01-01: yesterday is 2025-12-31
  EXPECT_EQ(testkit::ListDir(dir.path() + "/Zafkar").size(), 3u);
}

TEST_F(StatisticsTest, AnotherSessionsMarkerIsNeverTaken) {
  const std::string taken = Stat("$enPanel$2026-12-07@08-00-00.00.Session");
  testkit::WriteFile(taken, "");
  g_now = At(8, 0, 0, 0);  // the clock stands still
  StatsBegin(request);
  EXPECT_EQ(SessionFile, StatPath + "$enPanel$2026-12-07@08-00-00.01.Session");
  EXPECT_TRUE(testkit::Exists(Stat("$enPanel$2026-12-07@08-00-00.01.Session")));
  StatsEnd();
  EXPECT_TRUE(testkit::Exists(taken));
  EXPECT_FALSE(testkit::Exists(Stat("$enPanel$2026-12-07@08-00-00.01.Session")));
}

TEST_F(StatisticsTest, SixtyFourSessionsOfOneHundredthGetDistinctMarkers) {
  g_now = At(8, 0, 0, 0);  // every session starts in the same hundredth
  std::set<std::string> markers;
  for (int i = 0; i < 64; ++i) {
    StatsBegin(request);
    markers.insert(SessionFile);
  }
  EXPECT_EQ(markers.size(), 64u);
  EXPECT_EQ(testkit::ListDir(dir.path() + "/Statistics").size(), 64u);
  EXPECT_EQ(*markers.rbegin(), StatPath + "$enPanel$2026-12-07@08-00-00.63.Session");
  // The last one's marker runs 630 ms ahead; its duration counts from its
  // real start: 08:00:00.000 to 08:00:00.500.
  g_now = At(8, 0, 0, 500);
  StatsEnd();
  std::string log;
  for (const auto& name : testkit::ListDir(dir.path() + "/Statistics")) {
    if (name.find(".log") != std::string::npos) log = testkit::ReadFile(Stat(name));
  }
  EXPECT_NE(log.find("; Dur=00m:00.500s; SimltSessn: aO=0 eO=64 Sr=0 Ds=0 TOT=64 "),
            std::string::npos)
      << log;
}

TEST_F(StatisticsTest, AMissingFolderIsToldToTheOperator) {
  StatPath = dir.path() + "/nowhere\\";
  std::vector<std::string> messages;
  platform::SetOperatorMessageSink([&](const std::string& m) { messages.push_back(m); });
  Request(At(8, 0, 0, 0), At(8, 0, 0, 1));
  platform::SetOperatorMessageSink(nullptr);
  EXPECT_FALSE(testkit::Exists(dir.path() + "/nowhere"));
  ASSERT_EQ(messages.size(), 3u);
  // Paths as this system writes them.
#ifdef _WIN32
  std::string folder = platform::NativePath(dir.path() + "/nowhere");
  const char separator = '\\';
#else
  std::string folder = dir.path() + "/nowhere";
  const char separator = '/';
#endif
  EXPECT_EQ(messages[0].rfind("No session marker made in " + folder + ": Error code ", 0), 0u)
      << messages[0];
  EXPECT_EQ(
      messages[1].rfind(
          "Visit not counted in " + folder + separator + "$enPanel$2026-12-07.ctr: Error code ", 0),
      0u)
      << messages[1];
  EXPECT_EQ(messages[2].rfind("No log line written: cannot create " + folder + separator +
                                  "$enPanel$2026-12-07.log: Error code ",
                              0),
            0u)
      << messages[2];
}

#ifndef _WIN32
// A persistent process keeps the day's counter and log open and knows the
// old browse files from notices: what others do to those names between its
// visits is seen all the same.
TEST_F(StatisticsTest, APersistentProcessSeesTheDaysFilesAndBrowseFilesChangedUnderIt) {
  KeepSessionMarkersFromNowOn();
  const std::string counter = Stat("$enPanel$2026-12-07.ctr");
  const std::string log = Stat("$enPanel$2026-12-07.log");
  const std::string zafkar = dir.path() + "/Zafkar/";
  Request(At(8, 0, 0, 0), At(8, 0, 0, 1));  // Zafkar/ not there yet
  Request(At(8, 0, 1, 0), At(8, 0, 1, 1));
  testkit::MakeDirs(zafkar);
  testkit::WriteFile(zafkar + "BRWS2026-12-06a.htm", "x");
  testkit::WriteFile(counter + ".new", "41\r\n");
  std::rename((counter + ".new").c_str(), counter.c_str());
  Request(At(8, 0, 2, 0), At(8, 0, 2, 1));
  EXPECT_EQ(testkit::ReadFile(counter), "42\r\n");
  EXPECT_TRUE(testkit::ListDir(zafkar).empty()) << "a browse file of yesterday";
  testkit::WriteFile(dir.path() + "/BRWS2026-12-06b.htm", "x");
  std::rename((dir.path() + "/BRWS2026-12-06b.htm").c_str(),
              (zafkar + "BRWS2026-12-06b.htm").c_str());
  std::remove(log.c_str());
  std::remove(counter.c_str());
  Request(At(8, 0, 3, 0), At(8, 0, 3, 1));
  EXPECT_EQ(testkit::ReadFile(counter), "1\r\n");
  EXPECT_EQ(testkit::ReadFile(log),
            "2026/12/07 08:00:03; Dur=00m:00.001s; SimltSessn: aO=0 eO=1 Sr=0 Ds=0 TOT=1 "
            "RemotAddr=[10.0.0.5] Host=[localhost]\r\n");
  EXPECT_TRUE(testkit::ListDir(zafkar).empty()) << "one renamed into the folder";
  platform::LocalTime next_day = At(0, 0, 0, 0);
  next_day.day = 8;
  Request(next_day, next_day);
  EXPECT_EQ(testkit::ReadFile(Stat("$enPanel$2026-12-08.ctr")), "1\r\n");
  EXPECT_EQ(testkit::ReadFile(counter), "1\r\n");
}
#endif

#ifdef ENPANEL_FAULT_INJECTION
// The error named is the one that happened: a log that cannot be created for
// want of rights is not "no such file".
TEST_F(StatisticsTest, TheErrorToldIsTheOneThatHappened) {
  std::vector<std::string> messages;
  platform::SetOperatorMessageSink([&](const std::string& m) { messages.push_back(m); });
  g_now = At(8, 0, 0, 0);
  StatsBegin(request);
  platform::faults::FailEvery(platform::faults::Op::kCreate, platform::faults::kAccessDenied);
  StatsEnd();
  platform::faults::Reset();
  platform::SetOperatorMessageSink(nullptr);
  std::string denied = IOErrorText(platform::faults::kAccessDenied);
  bool told = false;
  for (const auto& m : messages) {
    if (m.rfind("No log line written: cannot create ", 0) == 0) {
      told = true;
      EXPECT_NE(m.find(": " + denied), std::string::npos) << m;
    }
  }
  EXPECT_TRUE(told);
}
#endif

}  // namespace
}  // namespace server
