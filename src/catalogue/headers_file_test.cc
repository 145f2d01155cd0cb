#include "catalogue/headers_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "catalogue/catalogue.h"
#include "common/page_text.h"
#include "platform/files.h"
#include "platform/folder_cache.h"
#include "server/site_paths.h"
#include "support/test_site.h"

namespace catalogue {
namespace {

using testkit::ReadFile;
using testkit::WriteFile;

class HeadersFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::ResetProgramState();
    BuildCatalogue();
    site = std::make_unique<testkit::Site>(dir.path() + "/cgi");
    server::_WebPath = site->program_folder;
    server::TXTPath = site->txt;
    headers = site->program_folder + "Hdrs1020.TXT";
    backup = site->program_folder + "Hdrs1020.bak";
    common::PageText.clear();
  }
  bool Call() { return CallGetHeaders(true, site->program_folder); }

  testkit::TempDir dir;
  std::unique_ptr<testkit::Site> site;
  std::string headers, backup;
};

TEST_F(HeadersFileTest, MissingFileIsBuiltAndRead) {
  site->AddBook(2, "Yusuf", "Author Two");
  site->AddBook(1, "Quran", "Author One");
  EXPECT_TRUE(Call());
  EXPECT_EQ(
      ReadFile(headers),
      "1020\r\n1\r\nARQUR\r\nQuran\r\nAuthor One\r\n\r\n2\r\nYUSUF\r\nYusuf\r\nAuthor Two\r\n\r\n");
  EXPECT_EQ(BookHeaders[1].Code, "ARQUR");
  EXPECT_EQ(BookHeaders[2].BookName, "Yusuf");
  EXPECT_EQ(BookHeaders[2].AuthorName, "Author Two");
  EXPECT_EQ(common::PageText, "");
  EXPECT_FALSE(testkit::Exists(backup));
  for (const auto& name : testkit::ListDir(site->program_folder)) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;  // nothing left behind
  }
}

TEST_F(HeadersFileTest, FreshFileIsOnlyRead) {
  site->AddBook(1, "Quran", "Author One");
  WriteFile(headers, "1020\r\n1\r\nARQUR\r\nKept\r\nName\r\n\r\n");
  testkit::SetMTime(site->TextPath(1), 1000000000);
  testkit::SetMTime(headers, 1000000100);
  EXPECT_TRUE(Call());
  EXPECT_EQ(BookHeaders[1].BookName, "Kept");
}

TEST_F(HeadersFileTest, StaleFileIsRebuiltWithBackup) {
  site->AddBook(1, "Quran", "New Author");
  std::string old_file = "1020\r\n1\r\nARQUR\r\nOld\r\nName\r\n\r\n";
  WriteFile(headers, old_file);
  testkit::SetMTime(headers, 1000000000);
  testkit::SetMTime(site->TextPath(1), 1000000001);
  EXPECT_TRUE(Call());
  EXPECT_EQ(ReadFile(backup), old_file);
  EXPECT_EQ(BookHeaders[1].AuthorName, "New Author");
}

TEST_F(HeadersFileTest, LowerCaseBookNameDoesNotMakeItStale) {
  WriteFile(site->txt + "arqur.txt", testkit::BookText("Lower", "Case"));
  site->AddIndexFiles(1);
  WriteFile(headers, "1020\r\n1\r\nARQUR\r\nKept\r\nName\r\n\r\n");
  testkit::SetMTime(headers, 1000000000);
  testkit::SetMTime(site->txt + "arqur.txt", 1000000500);
  EXPECT_TRUE(Call());
  EXPECT_EQ(BookHeaders[1].BookName, "Kept");
}

TEST_F(HeadersFileTest, EmptyRebuildReportsAndKeepsBackup) {
  const std::string reports = "\r\nERROR<br>No FILES available in Headers File: " + headers +
                              "<br>\r\nIt will be deleted now<br>Run this program again, to try "
                              "to generate it<br>";
  // Missing file, no book: nothing is left.
  EXPECT_FALSE(Call());
  EXPECT_EQ(common::PageText, reports);
  EXPECT_FALSE(testkit::Exists(headers));
  EXPECT_FALSE(testkit::Exists(backup));

  // A stale file (a newer book in the scanned text folder) with no book in the
  // source folder: the previous file becomes the backup.
  std::string old_file = "1020\r\n1\r\nARQUR\r\nOld\r\nName\r\n\r\n";
  WriteFile(headers, old_file);
  testkit::SetMTime(headers, 1000000000);
  server::TXTPath = dir.path() + "/elsewhere/";
  WriteFile(server::TXTPath + "ARQUR.TXT", "x");
  testkit::SetMTime(server::TXTPath + "ARQUR.TXT", 1000000001);
  common::PageText.clear();
  EXPECT_FALSE(Call());
  EXPECT_EQ(common::PageText, reports);
  EXPECT_FALSE(testkit::Exists(headers));
  EXPECT_EQ(ReadFile(backup), old_file);
}

TEST_F(HeadersFileTest, ARebuildRemovesOnlyItsOwnAbandonedFiles) {
  site->AddBook(1, "Quran", "One");
  const std::string& folder = site->program_folder;
  // Left by killed requests: a rebuild's new file, a backup link, a write test.
  const std::vector<std::string> abandoned = {"~enPanel-hdr-0000123400000001.tmp",
                                              "~enPanel-lnk-0000123400000002.tmp",
                                              "~enPanel-temp-0000123400000003.tmp"};
  const std::string running = "~enPanel-hdr-00001235000000AB.tmp";
  // The operator's own files, however old: never touched.
  const std::vector<std::string> operators = {"HDRS1020.TMP", "Hdrs1020.lnk", "hdr1A2B.tmp",
                                              "temp12.tmp", "~enPanel-hdr-notours.tmp"};
  for (const auto& name : abandoned) WriteFile(folder + name, "1020\r\n");
  for (const auto& name : operators) WriteFile(folder + name, "mine");
  // Ten minutes pass (the clean-up's clock runs ahead); then other requests
  // start: one writing a new file, one keeping an old headers file (modified
  // long ago) as the backup through a link.
  static platform::FileTime later = 0;
  later = platform::FileTimeNow() +
          (platform::FileTimeFromUnixSeconds(600) - platform::FileTimeFromUnixSeconds(0));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  SetFileClockForTests([] { return later; });
  WriteFile(folder + running, "1020\r\n");
#ifndef _WIN32
  const std::string linking = "~enPanel-lnk-00001236000000CD.tmp";
  WriteFile(dir.path() + "/old-headers", "1020\r\n");
  testkit::SetMTime(dir.path() + "/old-headers", 1000000000);
  ASSERT_EQ(link((dir.path() + "/old-headers").c_str(), (folder + linking).c_str()), 0);
#endif
  for (const auto& name : operators) testkit::SetMTime(folder + name, 1000000000);
  EXPECT_TRUE(Call());
  SetFileClockForTests(nullptr);
  for (const auto& name : abandoned) EXPECT_FALSE(testkit::Exists(folder + name)) << name;
  for (const auto& name : operators) EXPECT_TRUE(testkit::Exists(folder + name)) << name;
  EXPECT_TRUE(testkit::Exists(folder + running));  // another request may still be writing it
#ifndef _WIN32
  EXPECT_TRUE(testkit::Exists(folder + linking));  // named just now, though modified long ago
#endif
}

TEST_F(HeadersFileTest, AStaleFileUnderAnotherLetterCaseIsReplacedUnderItsOwnName) {
  site->AddBook(1, "Quran", "One");
  const std::string& folder = site->program_folder;
  const std::string copied = "1020\r\n1\r\nARQUR\r\nOld name\r\nOld author\r\n\r\n";
  WriteFile(folder + "hdrs1020.txt", copied);  // as copied from a Windows server
  testkit::SetMTime(folder + "hdrs1020.txt", 1000000000);
  EXPECT_TRUE(Call());
#ifndef _WIN32  // (Wine, which runs the Windows tests, keeps the old spelling)
  std::vector<std::string> names = testkit::ListDir(folder);
  EXPECT_NE(std::find(names.begin(), names.end(), "Hdrs1020.TXT"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "hdrs1020.txt"), names.end());
#endif
  EXPECT_EQ(ReadFile(folder + "Hdrs1020.bak"), copied);
  EXPECT_NE(ReadFile(folder + "Hdrs1020.TXT").find("\r\nQuran\r\nOne\r\n"), std::string::npos);
}

// Hosts sharing the site rebuild in turn: a request that finds the turn
// taken waits for it, looks again, and reads the file the other rebuild put
// in place instead of rebuilding it once more.
TEST_F(HeadersFileTest, ARebuildUnderWayElsewhereIsWaitedForAndItsFileRead) {
  site->AddBook(1, "Quran", "One");
  const std::string old_file = "1020\r\n1\r\nARQUR\r\nOld\r\nName\r\n\r\n";
  WriteFile(headers, old_file);
  testkit::SetMTime(headers, 1000000000);  // older than the book: stale
  platform::LockedFile turn;
  ASSERT_TRUE(turn.TryOpenLocked(site->program_folder + "Hdrs1020.lock"));
  const std::string theirs = "1020\r\n1\r\nARQUR\r\nFrom elsewhere\r\nOther\r\n\r\n";
  std::thread other_host([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WriteFile(site->program_folder + "theirs.tmp", theirs);
    ASSERT_TRUE(platform::RenameFile(site->program_folder + "theirs.tmp", headers));
    turn.Close();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Call());
  auto waited = std::chrono::steady_clock::now() - start;
  other_host.join();
  EXPECT_GE(waited, std::chrono::milliseconds(150)) << "the turn was not waited for";
  EXPECT_EQ(BookHeaders[1].BookName, "From elsewhere");
  EXPECT_EQ(ReadFile(headers), theirs);
  EXPECT_FALSE(testkit::Exists(backup)) << "rebuilt once more";
}

TEST_F(HeadersFileTest, UnwritableFolderIsReportedAndNotRead) {
  WriteFile(dir.path() + "/plainfile", "x");
  std::string folder = dir.path() + "/plainfile/sub/";
  EXPECT_TRUE(CallGetHeaders(true, folder));
  EXPECT_EQ(
      common::PageText,
      "\r\nERROR: Headers File Not Found: Hdrs1020.TXT\r\nAND CANNOT WRITE IT ON DIRECTORY:" +
          folder +
          "\r\n\r\nThis File must have been generated by Qorvex KBXxxx,\r\nthen written to CD");
}

struct ReadCase {
  const char* name;
  std::string file;
  bool result;
  std::string reports;  // with "%F" for the headers file path
};

TEST_F(HeadersFileTest, ReadingChecks) {
  const std::string bad_version =
      "\r\n<br><font color='Red'><b>ERROR in Headers File: Hdrs1020.TXT<br>File was written by "
      "version 1019<br>But this version is 1020<br><br>Program CAN continue<br>But it is "
      "recommended to write the proper file now,<br>by using the program:<br>HDRMAKER.EXE<br></b></Font>";
  const std::string no_files = "\r\nERROR<br>No FILES available in Headers File: %F<br>";
  const std::string good = "1\r\nARQUR\r\nQ\r\nA\r\n\r\n";
  std::vector<ReadCase> cases = {
      {"good", "1020\r\n" + good, true, ""},
      {"old stamp", "1019\r\n" + good, false, bad_version},
      {"index 0", "1020\r\n0\r\n" + good, false, ""},
      {"not a number", "1020\r\nabc\r\n" + good, false, ""},
      {"above 371", "1020\r\n372\r\n" + good, false, ""},
      {"blank lines", "1020\r\n\r\n\r\n\r\n" + good + "\r\n\r\n", true, ""},
      {"truncated", "1020\r\n1\r\nARQUR\r\nQ", false, ""},
      {"code only", "1020\r\n1\r\nARQUR", false, ""},
      {"no records", "1020\r\n", true, no_files},
      {"mismatch", "1020\r\n2\r\nnstfs\r\nN\r\nA\r\n\r\n" + good, false,
       "\r\nERROR<br>Index: 2 from %F refers to file: nstfs<br>but the actual file is: "
       "YUSUF<br>The following information will be wrong: Book Name and Author Name<br>program CAN "
       "continue"},
      {"only mismatches", "1020\r\n2\r\nARQUR\r\nN\r\nA\r\n", false,
       "\r\nERROR<br>Index: 2 from %F refers to file: ARQUR<br>but the actual file is: "
       "YUSUF<br>The following information will be wrong: Book Name and Author Name<br>program CAN "
       "continue" +
           no_files},
  };
  for (auto& c : cases) {
    ResetBookHeaders();
    common::PageText.clear();
    WriteFile(headers, c.file);
    EXPECT_EQ(Call(), c.result) << c.name;
    std::string expected = c.reports;
    for (auto at = expected.find("%F"); at != std::string::npos; at = expected.find("%F")) {
      expected.replace(at, 2, headers);
    }
    EXPECT_EQ(common::PageText, expected) << c.name;
  }
  // Names stay stored even when the code disagrees.
  EXPECT_EQ(BookHeaders[2].BookName, "N");
  EXPECT_EQ(BookHeaders[1].BookName, "");
  // Without the verbose flag only the result and the no-files report remain.
  common::PageText.clear();
  WriteFile(headers, "1019\r\n2\r\nARQUR\r\nN\r\nA\r\n");
  EXPECT_FALSE(CallGetHeaders(false, site->program_folder));
  std::string quiet = no_files;
  quiet.replace(quiet.find("%F"), 2, headers);
  EXPECT_EQ(common::PageText, quiet);
}

TEST_F(HeadersFileTest, RebuildsNeverShowReadersAPartialFile) {
  for (int slot = 1; slot <= 60; ++slot) {
    if (!CodeOf(slot).empty()) site->AddBook(slot, "Book " + std::to_string(slot), "Author");
  }
  ASSERT_TRUE(Call());
  const std::string complete = ReadFile(headers);
  ASSERT_GT(complete.size(), 1000u);
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, bad{0};
  std::vector<std::thread> readers;
  readers.reserve(3);
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop) {
        // Read the way the program reads it.
        std::string seen;
        bool opened = platform::ReadWholeFile(headers, seen);
        ++reads;
        if (!opened || seen != complete) ++bad;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  for (int round = 0; round < 40; ++round) {
    testkit::SetMTime(headers, 1000000000);  // stale again: every call rebuilds
    common::PageText.clear();
    EXPECT_TRUE(Call()) << common::PageText;
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(ReadFile(backup), complete);
}

#ifndef _WIN32
// While the rebuild moves the file from another letter case to its own name,
// readers in other processes (each looking the name up afresh, letter case
// ignored) always find a complete file: the old one or the new one.
TEST_F(HeadersFileTest, ReadersFindACompleteFileWhileItsSpellingChanges) {
  for (int slot = 1; slot <= 60; ++slot) {
    if (!CodeOf(slot).empty()) site->AddBook(slot, "Book " + std::to_string(slot), "Author");
  }
  ASSERT_TRUE(Call());
  const std::string fresh = ReadFile(headers);
  const std::string old_file = "1020\r\n1\r\nARQUR\r\nOld\r\nName\r\n\r\n";
  const std::string lower = site->program_folder + "hdrs1020.txt";
  int bad_rounds = 0;
  for (int round = 0; round < 20; ++round) {
    std::remove(headers.c_str());
    WriteFile(lower, old_file);
    testkit::SetMTime(lower, 1000000000);
    platform::folder_cache::ForgetAll();
    int done_pipe[2];
    ASSERT_EQ(pipe(done_pipe), 0);
    std::vector<pid_t> readers;
    for (int r = 0; r < 2; ++r) {
      pid_t child = fork();
      if (child == 0) {
        close(done_pipe[1]);
        fcntl(done_pipe[0], F_SETFL, O_NONBLOCK);
        int seen_bad = 0;
        char byte = 0;
        while (read(done_pipe[0], &byte, 1) < 0) {
          platform::folder_cache::ForgetAll();
          std::string seen;
          if (!platform::ReadWholeFile(headers, seen) || (seen != old_file && seen != fresh)) {
            ++seen_bad;
          }
        }
        _exit(seen_bad == 0 ? 0 : 1);
      }
      readers.push_back(child);
    }
    close(done_pipe[0]);
    usleep(2000);
    EXPECT_TRUE(Call()) << common::PageText;
    usleep(2000);
    close(done_pipe[1]);
    for (pid_t child : readers) {
      int status = 0;
      waitpid(child, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++bad_rounds;
    }
    EXPECT_EQ(ReadFile(headers), fresh);
    EXPECT_FALSE(testkit::Exists(lower) && ReadFile(lower) == old_file);
  }
  EXPECT_EQ(bad_rounds, 0);
}
#endif

}  // namespace
}  // namespace catalogue
