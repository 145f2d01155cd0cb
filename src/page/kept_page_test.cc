// The kept page: kept only once every folder its build read was watched
// before the build, and no call failed; dropped at a change in any of them.
#include "page/kept_page.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/test_site.h"

namespace page {
namespace {

class KeptPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::WriteFile(dir / "books/a.txt", "a");
    testkit::WriteFile(dir / "more/b.txt", "b");
    KeepPagesFromNowOn();
  }
  void TearDown() override { ForgetKeptPage(); }

  // A build that reads the files named, and ends with `page`.
  void Build(const std::string& page, std::initializer_list<std::string> reads) {
    BeginBuild();
    for (const std::string& path : reads) {
      platform::FileTime time = 0;
      platform::GetModifiedTime(dir / path, time);
    }
    EndBuild(page, false);
  }

  testkit::TempDir dir;
};

TEST_F(KeptPageTest, KeptOnceAllItReadWasWatchedBeforeItRead) {
  Build("first", {"books/a.txt"});
  EXPECT_EQ(KeptPage(), nullptr) << "nothing was watched before the first build";
  Build("second", {"books/a.txt"});
  ASSERT_NE(KeptPage(), nullptr);
  EXPECT_EQ(*KeptPage(), "second");
  // A build that reads somewhere new is not kept; the one after it is.
  Build("third", {"books/a.txt", "more/b.txt"});
  EXPECT_EQ(KeptPage(), nullptr);
  Build("fourth", {"books/a.txt", "more/b.txt"});
  ASSERT_NE(KeptPage(), nullptr);
  testkit::WriteFile(dir / "more/b.txt", "changed");
  // Linux tells before the write returns; Wine a moment later.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (KeptPage() != nullptr && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(KeptPage(), nullptr) << "a change where the build read";
}

TEST_F(KeptPageTest, NotKeptAfterAFailureOrWhenTheOperatorWasTold) {
  Build("first", {"books/a.txt"});
  BeginBuild();
  platform::SetLastErrorCode(EIO);
  EndBuild("failed", false);
  EXPECT_EQ(KeptPage(), nullptr) << "a call failed";
  BeginBuild();
  platform::SetLastErrorCode(ENOENT);
  EndBuild("missing", false);
  EXPECT_NE(KeptPage(), nullptr) << "a name not there is no failure";
  BeginBuild();
  platform::CountFailure();
  EndBuild("memory ran out", false);
  EXPECT_EQ(KeptPage(), nullptr);
  BeginBuild();
  EndBuild("told", true);
  EXPECT_EQ(KeptPage(), nullptr) << "its lines must come again";
}

TEST_F(KeptPageTest, ACgiProcessKeepsNothing) {
  ForgetKeptPage();
  Build("first", {"books/a.txt"});
  Build("second", {"books/a.txt"});
  EXPECT_EQ(KeptPage(), nullptr);
}

}  // namespace
}  // namespace page
