// Many requests at once on one site: nothing of the statistics is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

#include "support/test_site.h"

namespace {

std::string StatFile(const std::string& folder, const std::string& ending) {
  for (const auto& name : testkit::ListDir(folder)) {
    if (name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      return folder + "/" + name;
    }
  }
  return "";
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
  std::atomic<int> next{0}, complete{0};
  std::vector<std::thread> workers;
  workers.reserve(kParallel);
  for (int w = 0; w < kParallel; ++w) {
    workers.emplace_back([&] {
      while (next++ < kRequests) {
        testkit::RunResult r = testkit::RunProgram(program, env);
        if (r.exit_code == 0 && r.out.size() > 7 && r.out.substr(r.out.size() - 7) == "</HTML>")
          ++complete;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(complete.load(), kRequests);

  std::string stats = site.program_folder + "Statistics";
  EXPECT_EQ(testkit::ReadFile(StatFile(stats, ".ctr")), std::to_string(kRequests) + "\r\n");
  std::istringstream log(testkit::ReadFile(StatFile(stats, ".log")));
  std::regex line_form(
      R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d; Dur=(\d\dh )?\d\dm:\d\d\.\d{3}s; SimltSessn: aO=0 eO=\d+ Sr=0 Ds=0 TOT=\d+ RemotAddr=\[127\.0\.0\.1\] Host=\[localhost\]\r)");
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    EXPECT_TRUE(std::regex_match(line, line_form)) << line;
  }
  EXPECT_EQ(lines, kRequests);
  EXPECT_EQ(StatFile(stats, ".Session"), "");
}

}  // namespace
