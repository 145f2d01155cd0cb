// Change notices: each change that can alter what was built from a folder
// is seen, whether it touches the folder's entries or the way to it, and
// nothing else counts.
#include "platform/folder_watch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/files.h"
#include "support/test_site.h"

namespace {

namespace fs = std::filesystem;

// Linux reports a change before the call that made it returns; Wine's
// server, which stands in for Windows here, passes notices on a moment
// later, so there the watch is given a second.
bool SeesChange(platform::FolderWatch& watch) {
#if defined(_WIN32)
  for (int i = 0; i < 100; ++i) {
    if (!watch.Unchanged()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
#else
  return !watch.Unchanged();
#endif
}

class FolderWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_.path() + "/site";
    books_ = site_ + "/fulltxt";
    testkit::WriteFile(books_ + "/ARQUR.TXT", "book");
    testkit::WriteFile(site_ + "/Hdrs1020.TXT", "headers");
    testkit::MakeDirs(site_ + "/Statistics");
  }

  // A fresh set of watches on the site folder and its book folder.
  void WatchSite() {
    watch_.Restart();
    ASSERT_TRUE(watch_.Watch(site_ + "/"));
    ASSERT_TRUE(watch_.Watch(site_ + "/fulltxt/"));
    ASSERT_TRUE(watch_.Unchanged());
  }

  testkit::TempDir dir_;
  std::string site_, books_;
  platform::FolderWatch watch_;
};

TEST_F(FolderWatchTest, EveryChangeOfAWatchedFoldersEntriesIsSeen) {
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
    {"a file made", [&] { testkit::WriteFile(books_ + "/ARHDS.TXT", "new"); }},
    {"a file removed", [&] { std::remove((books_ + "/ARQUR.TXT").c_str()); }},
#if !defined(_WIN32)  // Wine, which runs the Windows tests, sends no notice for this rename
    {"a file renamed in letter case",
     [&] { std::rename((books_ + "/ARQUR.TXT").c_str(), (books_ + "/arqur.txt").c_str()); }},
#endif
    {"a file's contents", [&] { testkit::WriteFile(site_ + "/Hdrs1020.TXT", "other"); }},
    {"a file touched to an older time", [&] { testkit::SetMTime(books_ + "/ARQUR.TXT", 1000); }},
#if !defined(_WIN32)
    {"a file made unreadable", [&] { chmod((site_ + "/Hdrs1020.TXT").c_str(), 0); }},
#endif
    {"a folder made", [&] { testkit::MakeDirs(site_ + "/FULLINDEXES"); }},
  };
  for (const auto& [what, change] : changes) {
    SetUp();
    WatchSite();
    change();
    EXPECT_TRUE(SeesChange(watch_)) << what;
    watch_.Restart();  // Windows removes no folder that is watched
    fs::remove_all(site_);
  }
}

TEST_F(FolderWatchTest, ChangesOnTheWayAreSeenAndOthersAreNot) {
  WatchSite();
  testkit::WriteFile(site_ + "/Statistics/enPanel.ctr", "1");  // inside a folder not watched
  testkit::WriteFile(dir_.path() + "/elsewhere.txt", "x");     // beside the site folder
  EXPECT_TRUE(watch_.Unchanged()) << "changes that touch nothing watched";

  std::rename(site_.c_str(), (dir_.path() + "/moved").c_str());
  EXPECT_TRUE(SeesChange(watch_)) << "the site folder renamed";
  EXPECT_FALSE(watch_.Unchanged()) << "and it stays seen";
}

TEST_F(FolderWatchTest, AFolderThatIsMissingIsSeenWhenItComes) {
  watch_.Restart();
  ASSERT_TRUE(watch_.Watch(dir_.path() + "/Kbx32-d4/txt/"));
  testkit::MakeDirs(dir_.path() + "/other");
  EXPECT_TRUE(watch_.Unchanged()) << "another name beside it";
  testkit::MakeDirs(dir_.path() + "/KBX32-D4");
  EXPECT_TRUE(SeesChange(watch_)) << "the folder above it made, in another letter case";
}

#if !defined(_WIN32)
TEST_F(FolderWatchTest, ALinkedFolderIsWatchedWhereItLeads) {
  std::string library = dir_.path() + "/library/fulltxt";
  testkit::WriteFile(library + "/ARQUR.TXT", "book");
  fs::remove_all(books_);
  fs::create_directory_symlink(library, books_);
  WatchSite();
  testkit::WriteFile(library + "/ARHDS.TXT", "new");
  EXPECT_TRUE(SeesChange(watch_)) << "a book added where the link leads";

  WatchSite();
  std::rename((dir_.path() + "/library").c_str(), (dir_.path() + "/library-old").c_str());
  EXPECT_TRUE(SeesChange(watch_)) << "the folder above the link's target renamed";
}
#endif

TEST_F(FolderWatchTest, ARestartForgetsWhatWasSeen) {
  WatchSite();
  testkit::WriteFile(books_ + "/ARHDS.TXT", "new");
  EXPECT_TRUE(SeesChange(watch_));
  WatchSite();
  EXPECT_TRUE(watch_.Unchanged());
}

}  // namespace

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Names made, removed and renamed at random in a folder (markers of every
// program, in either letter case, and other files beside them), the folder
// itself removed, moved away and back: after each change the kept names are
// those a listing gives.
TEST(KeptNamesTest, AfterEachOfAThousandRandomChangesTheNamesAreAListings) {
  testkit::TempDir dir;
  const std::string folder = dir.path() + "/Statistics";
  const std::string pattern = folder + "/*.Session";
  testkit::MakeDirs(folder);
  const std::vector<std::string> pool = {"$enPanel$2026-12-09@10-00-00.01.Session",
                                         "$arPanel$2026-12-09@10-00-00.02.Session",
                                         "$qryGate$2026-12-09@10-00-00.03.SESSION",
                                         "$txtView$2026-12-09@10-00-00.04.session",
                                         "$enPanel$2026-12-09.ctr",
                                         "$enPanel$2026-12-09.log",
                                         "other.Sessions",
                                         "$enPanel$2026-12-09@10-00-00.05.Session"};
  std::mt19937 random(9122026);
  platform::KeptNames kept;
  for (int step = 0; step < 1000; ++step) {
    const std::string a = folder + "/" + pool[random() % pool.size()];
    const std::string b = folder + "/" + pool[random() % pool.size()];
    switch (random() % 10) {
      case 0:
      case 1:
      case 2:
        testkit::WriteFile(a, "");
        break;
      case 3:
      case 4:
        std::remove(a.c_str());
        break;
      case 5:
        std::rename(a.c_str(), b.c_str());
        break;
      case 6:
        std::rename(a.c_str(), (dir.path() + "/outside.Session").c_str());
        break;
      case 7:
        std::rename((dir.path() + "/outside.Session").c_str(), b.c_str());
        break;
      case 8:
        if (random() % 10 == 0) {
          std::rename(folder.c_str(), (dir.path() + "/away").c_str());
          std::rename((dir.path() + "/away").c_str(), folder.c_str());
        }
        break;
      default:
        if (random() % 20 == 0) {
          fs::remove_all(folder);
          testkit::MakeDirs(folder);
        }
        break;
    }
    std::vector<std::string> listed;
    platform::VisitNamesOnce(pattern, [&](std::string_view name) { listed.emplace_back(name); });
    auto kept_now = [&] {
      std::vector<std::string> names;
      kept.Visit(pattern, [&](std::string_view name) { names.emplace_back(name); });
      return Sorted(names);
    };
#if defined(_WIN32)
    // Wine passes notices on a moment late (see SeesChange).
    for (int i = 0; i < 100 && kept_now() != Sorted(listed); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#endif
    ASSERT_EQ(kept_now(), Sorted(listed)) << "step " << step;
  }
}

}  // namespace
