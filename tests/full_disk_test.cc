// A disk that is really full, on a small memory file system that the test
// mounts (which needs root): a request loses nothing and says so, and the
// next request, with room again, is whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

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

TEST(FullDisk, AFullDiskLosesNothing) {
  testkit::TempDir root;
  std::string mount_point = root.path() + "/small";
  testkit::MakeDirs(mount_point);
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=2m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{mount_point};
  testkit::Site site(mount_point + "/cgi-bin");
  for (int slot = 1; slot <= 20; ++slot) {
    if (!testkit::CodeOfSlot(slot).empty()) site.AddBook(slot, "Book " + std::to_string(slot), "A");
  }
  const std::string folder = site.program_folder, stats = folder + "Statistics/";
  std::vector<std::string> told;
  platform::SetOperatorMessageSink([&](const std::string& m) { told.push_back(m); });
  ASSERT_TRUE(IsWholePage(testkit::RequestInProcess(folder)));
  const std::string headers = ReadFile(folder + "Hdrs1020.TXT");
  site.AddBook(1, "A name long enough to need a new block " + std::string(200, 'x'), "A");
  testkit::SetMTime(folder + "Hdrs1020.TXT", 1000000000);
  // Fill the disk to the last byte.
  {
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
  long count = testkit::Counted(stats);
  int lines = testkit::WholeLogLines(stats);
  std::string page = testkit::RequestInProcess(folder);
  platform::SetOperatorMessageSink(nullptr);
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

}  // namespace
