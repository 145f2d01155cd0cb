// Many requests at once on one site: nothing of the statistics is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include "support/test_site.h"

namespace {

using testkit::StatFile;

// Runs `requests` requests, `parallel` at a time; `good` judges each response
// and `after` is told how many have finished. Returns how many were good.
int RunMany(const std::string& program, const std::map<std::string, std::string>& env, int requests,
            int parallel, const std::function<bool(const testkit::RunResult&)>& good,
            const std::function<void(int)>& after = nullptr) {
  std::atomic<int> next{0}, done{0}, passed{0};
  std::vector<std::thread> workers;
  workers.reserve(static_cast<std::size_t>(parallel));
  for (int w = 0; w < parallel; ++w) {
    workers.emplace_back([&] {
      while (next++ < requests) {
        // Generous: at idle priority a request waits while the machine is busy.
        if (good(testkit::RunProgram(program, env, "", 120))) ++passed;
        int finished = ++done;
        if (after) after(finished);
      }
    });
  }
  for (auto& t : workers) t.join();
  return passed.load();
}

TEST(Load, TwoHundredRequestsSixteenAtATime) {
  testkit::TempDir root;
  testkit::Site site(root.path() + "/cgi-bin");
  for (int slot = 1; slot <= 40; ++slot)
    site.AddBook(slot, "Book " + std::to_string(slot), "Author");
  std::string program = testkit::InstallProgram(ENPANEL_BINARY, site.program_folder);
  const std::map<std::string, std::string> env = {
      {"SERVER_PROTOCOL", "HTTP/1.1"}, {"HTTP_HOST", "localhost"}, {"REMOTE_ADDR", "127.0.0.1"}};
  constexpr int kRequests = 200, kParallel = 16;
  int complete = RunMany(program, env, kRequests, kParallel, testkit::IsWholeResponse);
  EXPECT_EQ(complete, kRequests);

  std::string stats = site.program_folder + "Statistics";
  EXPECT_EQ(testkit::ReadFile(StatFile(stats, ".ctr")), std::to_string(kRequests) + "\r\n");
  std::istringstream log(testkit::ReadFile(StatFile(stats, ".log")));
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    EXPECT_TRUE(testkit::IsLocalLogLine(line)) << line;
  }
  EXPECT_EQ(lines, kRequests);
  EXPECT_EQ(StatFile(stats, ".Session"), "");
}

TEST(Load, FourHundredRequestsWhileTheHeadersFileIsRebuilt) {
  testkit::TempDir root;
  testkit::Site site(root.path() + "/cgi-bin");
  std::vector<int> slots;
  for (int slot = 1; slot <= 120; ++slot) {
    if (testkit::CodeOfSlot(slot).empty()) continue;
    site.AddBook(slot, "Book " + std::to_string(slot), "Author " + std::to_string(slot));
    slots.push_back(slot);
  }
  std::string program = testkit::InstallProgram(ENPANEL_BINARY, site.program_folder);
  const std::string headers = site.program_folder + "Hdrs1020.TXT";
  testkit::WriteFile(headers, "1020\r\n1\r\nARQUR\r\nOld\r\nName\r\n\r\n");
  testkit::SetMTime(headers, 1000000000);  // stale at the start
  const std::map<std::string, std::string> env = {
      {"SERVER_PROTOCOL", "HTTP/1.1"}, {"HTTP_HOST", "localhost"}, {"REMOTE_ADDR", "127.0.0.1"}};
  constexpr int kRequests = 400, kParallel = 16;
  auto good = [](const testkit::RunResult& r) {
    return testkit::IsWholeResponse(r) && r.out.find("name=\"B120\"") != std::string::npos &&
           // A headers file read half-written would bring reports onto the page.
           r.out.find("Reference Headers") == std::string::npos &&
           r.out.find("No FILES available") == std::string::npos &&
           r.out.find("Book 120<br>Author 120") != std::string::npos;
  };
  // Midway the books change on disk: every request may rebuild again.
  auto touch_midway = [&](int finished) {
    if (finished == kRequests / 2) {
      for (int slot : slots) testkit::SetMTime(site.TextPath(slot), 2000000000);
    }
  };
  int complete = RunMany(program, env, kRequests, kParallel, good, touch_midway);
  EXPECT_EQ(complete, kRequests);

  // The headers file is whole: the same as one more rebuild on its own.
  const std::string after_load = testkit::ReadFile(headers);
  testkit::SetMTime(headers, 1000000000);
  testkit::RunProgram(program, env);
  EXPECT_EQ(after_load, testkit::ReadFile(headers));
  EXPECT_NE(after_load.find("120\r\nFAMS3\r\n"), std::string::npos);

  std::string stats = site.program_folder + "Statistics";
  EXPECT_EQ(testkit::ReadFile(StatFile(stats, ".ctr")), std::to_string(kRequests + 1) + "\r\n");
  std::string log = testkit::ReadFile(StatFile(stats, ".log"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), kRequests + 1);
  EXPECT_EQ(StatFile(stats, ".Session"), "");
}

}  // namespace
