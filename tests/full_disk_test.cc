// A disk that is really full, on a small memory file system that the test
// mounts (which needs root): a request loses nothing and says so, and the
// next request, with room again, is whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/files.h"
#include "platform/messages.h"
#include "support/test_site.h"

namespace {

using testkit::IsWholePage;
using testkit::ListDir;
using testkit::ReadFile;
using testkit::StatFile;

// A small memory file system of its own with a site in it, and a file that
// fills it to the last byte.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::MakeDirs(mount_point);
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=2m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted = true;
    site = std::make_unique<testkit::Site>(mount_point + "/cgi-bin");
    for (int slot = 1; slot <= 20; ++slot) {
      if (!testkit::CodeOfSlot(slot).empty())
        site->AddBook(slot, "Book " + std::to_string(slot), "A");
    }
    folder = site->program_folder;
    stats = folder + "Statistics/";
    platform::SetOperatorMessageSink([&](const std::string& m) { told.push_back(m); });
  }
  void TearDown() override {
    platform::SetOperatorMessageSink(nullptr);
    site.reset();
    if (mounted) umount2(mount_point.c_str(), MNT_DETACH);
  }
  void Fill() {
    std::string filler = mount_point + "/filler";
    FILE* f = std::fopen(filler.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    std::fclose(f);
    f = std::fopen(filler.c_str(), "ab");
    while (std::fputc('f', f) != EOF && std::fflush(f) == 0) {
    }
    std::fclose(f);
  }
  testkit::TempDir root;
  std::string mount_point = root.path() + "/small";
  bool mounted = false;
  std::unique_ptr<testkit::Site> site;
  std::string folder, stats;
  std::vector<std::string> told;
};

TEST_F(FullDisk, AFullDiskLosesNothing) {
  ASSERT_TRUE(IsWholePage(testkit::RequestInProcess(folder)));
  const std::string headers = ReadFile(folder + "Hdrs1020.TXT");
  site->AddBook(1, "A name long enough to need a new block " + std::string(200, 'x'), "A");
  testkit::SetMTime(folder + "Hdrs1020.TXT", 1000000000);
  Fill();
  long count = testkit::Counted(stats);
  int lines = testkit::WholeLogLines(stats);
  std::string page = testkit::RequestInProcess(folder);
  EXPECT_TRUE(IsWholePage(page));
  EXPECT_EQ(ReadFile(folder + "Hdrs1020.TXT"), headers);  // the old one, whole
  EXPECT_TRUE(testkit::Counted(stats) == count || testkit::Counted(stats) == count + 1);
  int now_lines = testkit::WholeLogLines(stats);
  EXPECT_TRUE(now_lines == lines || now_lines == lines + 1) << now_lines;
  bool rebuild_told = false;
  for (const auto& m : told)
    rebuild_told = rebuild_told || m.find("not rebuilt") != std::string::npos;
  EXPECT_TRUE(rebuild_told) << "the operator hears of the failed rebuild";
  std::remove((mount_point + "/filler").c_str());
  EXPECT_TRUE(IsWholePage(testkit::RequestInProcess(folder)));
  EXPECT_NE(ReadFile(folder + "Hdrs1020.TXT").find("A name long enough"), std::string::npos);
  for (const auto& name : ListDir(folder)) EXPECT_FALSE(platform::IsTemporaryName(name)) << name;
}

// Visit after visit in one process while the disk is full: the log holds
// whole lines only (a line's last page has room for a few more, then none),
// the operator hears of the lines missing once, and once more with their
// number when there is room again.
TEST_F(FullDisk, VisitsOnAFullDiskLeaveWholeLinesAndAreCountedOnce) {
  ASSERT_TRUE(IsWholePage(testkit::RequestInProcess(folder)));
  Fill();
  const int before = testkit::WholeLogLines(stats);
  constexpr int kVisits = 100;
  for (int i = 0; i < kVisits; ++i) testkit::RequestInProcess(folder);
  const int during = testkit::WholeLogLines(stats);
  ASSERT_GE(during, before) << "the log holds a line that is not whole";
  long lines_told = std::count_if(told.begin(), told.end(), [](const std::string& m) {
    return m.find("log line") != std::string::npos;
  });
  EXPECT_EQ(lines_told, 1) << "told once, not at every visit (within a minute)";
  told.clear();
  std::remove((mount_point + "/filler").c_str());
  testkit::RequestInProcess(folder);
  EXPECT_EQ(testkit::WholeLogLines(stats), during + 1);
  const std::string again = "Log lines written again to " + stats.substr(0, stats.size() - 1) +
                            "/" + testkit::StatFile(stats, ".log").substr(stats.size()) +
                            " (no whole log line since the last line: " +
                            std::to_string(kVisits - (during - before) - 1) + " visits)";
  EXPECT_EQ(told, std::vector<std::string>{again});
}

}  // namespace
