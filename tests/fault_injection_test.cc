// Whole requests, run in this process, with one file operation after another
// made to fail (the platform's fault seam), and on a disk that is really full:
// the page is always complete, the headers file and its backup are each a
// complete old or new file, the counter moves by one at most, the log holds
// whole lines only, and the next request is sound and leaves nothing behind.
#include "platform/fault_injection.h"

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

namespace faults = platform::faults;
using testkit::Exists;
using testkit::ListDir;
using testkit::ReadFile;

using testkit::IsWholePage;
using testkit::StatFile;

std::string Request(const std::string& folder) { return testkit::RequestInProcess(folder); }

long Count(const std::string& stats) {
  std::string counter = StatFile(stats, ".ctr");
  return counter.empty() ? 0 : std::stol(ReadFile(counter));
}

// Every line whole and well formed; how many there are.
int WholeLogLines(const std::string& stats) {
  std::string path = StatFile(stats, ".log");
  if (path.empty()) return 0;
  std::string log = ReadFile(path);
  if (!log.empty() && log.back() != '\n') return -1;
  std::istringstream in(log);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    if (!testkit::IsLocalLogLine(line)) return -1;
  }
  return lines;
}

enum class Headers { kFresh, kStale, kMissing };

class FaultInjection : public ::testing::TestWithParam<Headers> {
 protected:
  void SetUp() override {
    site = std::make_unique<testkit::Site>(root.path() + "/cgi-bin");
    folder = site->program_folder;
    stats = folder + "Statistics/";
    headers = folder + "Hdrs1020.TXT";
    backup = folder + "Hdrs1020.bak";
    for (int slot = 1; slot <= 40; ++slot) {
      if (!testkit::CodeOfSlot(slot).empty())
        site->AddBook(slot, "Book " + std::to_string(slot), "A");
    }
    platform::SetOperatorMessageSink([](const std::string&) {});
    // Two requests: the headers file and its backup exist, so do the counter
    // and the log.
    ASSERT_TRUE(IsWholePage(Request(folder)));
    site->AddBook(1, "Renamed", "A");
    testkit::SetMTime(headers, 1000000000);
    ASSERT_TRUE(IsWholePage(Request(folder)));
    old_headers = ReadFile(headers);
    old_backup = ReadFile(backup);
    site->AddBook(2, "Renamed too", "A");  // a rebuild now writes something new
    if (GetParam() == Headers::kMissing) {
      std::remove(headers.c_str());
      old_headers.clear();
    }
    Arrange();
    // What a request that fails nothing makes of it.
    faults::Reset();
    ASSERT_TRUE(IsWholePage(Request(folder)));
    calls = faults::CallsSeen();
    new_headers = ReadFile(headers);
    if (GetParam() == Headers::kFresh) {
      EXPECT_EQ(new_headers, old_headers);
    } else {
      EXPECT_NE(new_headers, old_headers);
    }
    start_count = Count(stats) - 1;
    start_lines = WholeLogLines(stats) - 1;
    // What a rebuild makes of the books as they are.
    std::string kept_headers = ReadFile(headers);
    testkit::SetMTime(headers, 1000000000);
    ASSERT_TRUE(IsWholePage(Request(folder)));
    rebuilt_headers = ReadFile(headers);
    testkit::WriteFile(headers, kept_headers);
  }
  void TearDown() override {
    faults::Reset();
    platform::SetOperatorMessageSink(nullptr);
  }

  // The files as they stood before the request under test.
  void Arrange() {
    if (GetParam() == Headers::kMissing) {
      std::remove(headers.c_str());
    } else {
      testkit::WriteFile(headers, old_headers);
      testkit::SetMTime(headers, GetParam() == Headers::kStale ? 1000000000 : 2000000000);
    }
    testkit::WriteFile(backup, old_backup);
  }
  void Restore(long count, int lines) {
    Arrange();
    std::string counter = StatFile(stats, ".ctr");
    testkit::WriteFile(counter, std::to_string(count) + "\r\n");
    std::string log = StatFile(stats, ".log");
    std::string text = ReadFile(log);
    std::size_t at = 0;
    for (int i = 0; i < lines; ++i) at = text.find('\n', at) + 1;
    testkit::WriteFile(log, text.substr(0, at));
    for (const auto& name : ListDir(folder)) {
      if (platform::IsTemporaryName(name)) std::remove((folder + name).c_str());
    }
  }
  // Names in the program folder and the statistics folder that should not be there.
  std::vector<std::string> Strays() {
    std::vector<std::string> strays;
    for (const auto& name : ListDir(folder)) {
      if (name != "fulltxt" && name != "fullindexes" && name != "Statistics" &&
          name != "Hdrs1020.TXT" && name != "Hdrs1020.bak") {
        strays.push_back(name);
      }
    }
    for (const auto& name : ListDir(stats)) {
      if (name.find(".ctr") == std::string::npos && name.find(".log") == std::string::npos) {
        strays.push_back(name);
      }
    }
    return strays;
  }

  // A complete headers file: the old one, the one a request without faults
  // makes, or (where a failed look-up made a fresh file look missing) one
  // rebuilt from the books as they are.
  bool CompleteHeaders(const std::string& text) {
    return text == old_headers || text == new_headers || text == rebuilt_headers;
  }

  void CheckAfterFault(const std::string& what, const std::string& page, long count, int lines,
                       faults::Op failed) {
    EXPECT_TRUE(IsWholePage(page)) << what;
    std::string kept = ReadFile(backup);
    EXPECT_TRUE(kept == old_backup || (!old_headers.empty() && kept == old_headers))
        << what << ": backup neither old nor new";
    if (Exists(headers)) {
      EXPECT_TRUE(CompleteHeaders(ReadFile(headers))) << what << ": headers file not complete";
    } else {
      // Missing before, or set aside as the backup by a rebuild that found
      // no book (its source folder could not be looked at), as the page says.
      EXPECT_TRUE(old_headers.empty() ||
                  (kept == old_headers && page.find("No FILES available") != std::string::npos))
          << what << ": headers file gone";
    }
    long counted = Count(stats);
    EXPECT_TRUE(counted == count || counted == count + 1) << what << ": counter " << counted;
    int now_lines = WholeLogLines(stats);
    EXPECT_TRUE(now_lines == lines || now_lines == lines + 1)
        << what << ": log lines " << now_lines;

    // The next request, with nothing failing, is sound.
    faults::Reset();
    std::string next = Request(folder);
    EXPECT_TRUE(IsWholePage(next)) << what;
    EXPECT_EQ(next.find("Reference Headers"), std::string::npos) << what;
    std::string after = ReadFile(headers);
    EXPECT_TRUE(after == new_headers || after == rebuilt_headers) << what;
    EXPECT_EQ(Count(stats), counted + 1) << what;
    EXPECT_EQ(WholeLogLines(stats), now_lines + 1) << what;
    if (failed == faults::Op::kRemove) {
      for (const auto& name : ListDir(stats)) {
        if (name.find(".Session") != std::string::npos) std::remove((stats + name).c_str());
      }
    }
    for (const auto& name : Strays()) {
      // A temporary file or session marker whose removal was the failed call
      // stays (the clean-up of abandoned files takes the former after ten
      // minutes; the operator is told of the latter); nothing else may.
      bool marker = name.find(".Session") != std::string::npos;
      EXPECT_TRUE((platform::IsTemporaryName(name) || marker) && failed == faults::Op::kRemove)
          << what << ": left behind: " << name;
    }
  }

  testkit::TempDir root;
  std::unique_ptr<testkit::Site> site;
  std::string folder, stats, headers, backup;
  std::string old_headers, old_backup, new_headers, rebuilt_headers;
  long calls = 0, start_count = 0;
  int start_lines = 0;
};

TEST_P(FaultInjection, EachFileOperationFailsInTurn) {
  ASSERT_GT(calls, 10);
  for (long n = 1; n <= calls; ++n) {
    Restore(start_count, start_lines);
    faults::Reset();
    faults::FailNth(n, EIO);
    std::string page = Request(folder);
    faults::Op failed = faults::LastFailed();
    faults::Reset();
    std::string what = "call " + std::to_string(n) + " (" + faults::OpName(failed) + ")";
    CheckAfterFault(what, page, start_count, start_lines, failed);
    if (HasFailure()) break;
  }
}

TEST_P(FaultInjection, EveryCallOfOneKindFails) {
  for (int op = 0; op < static_cast<int>(faults::Op::kCount); ++op) {
    Restore(start_count, start_lines);
    faults::Reset();
    faults::FailEvery(static_cast<faults::Op>(op),
                      op == static_cast<int>(faults::Op::kWrite) ? ENOSPC : EACCES);
    std::string page = Request(folder);
    faults::Op failed = faults::LastFailed();
    faults::Reset();
    CheckAfterFault(std::string("every ") + faults::OpName(static_cast<faults::Op>(op)), page,
                    start_count, start_lines, failed);
    if (HasFailure()) break;
  }
}

INSTANTIATE_TEST_SUITE_P(Headers, FaultInjection,
                         ::testing::Values(Headers::kFresh, Headers::kStale, Headers::kMissing),
                         [](const ::testing::TestParamInfo<Headers>& info) {
                           switch (info.param) {
                             case Headers::kFresh:
                               return "Fresh";
                             case Headers::kStale:
                               return "Stale";
                             default:
                               return "Missing";
                           }
                         });

// A disk that is really full: a small memory file system (root may mount
// one; elsewhere the test says why it is skipped).
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
  ASSERT_TRUE(IsWholePage(Request(folder)));
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
  long count = Count(stats);
  int lines = WholeLogLines(stats);
  std::string page = Request(folder);
  platform::SetOperatorMessageSink(nullptr);
  EXPECT_TRUE(IsWholePage(page));
  EXPECT_EQ(ReadFile(folder + "Hdrs1020.TXT"), headers);  // the old one, whole
  EXPECT_TRUE(Count(stats) == count || Count(stats) == count + 1);
  int now_lines = WholeLogLines(stats);
  EXPECT_TRUE(now_lines == lines || now_lines == lines + 1) << now_lines;
  bool rebuild_told = false;
  for (const auto& m : told)
    rebuild_told = rebuild_told || m.find("not rebuilt") != std::string::npos;
  EXPECT_TRUE(rebuild_told) << "the operator hears of the failed rebuild";
  std::remove((mount_point + "/filler").c_str());
  EXPECT_TRUE(IsWholePage(Request(folder)));
  EXPECT_NE(ReadFile(folder + "Hdrs1020.TXT").find("A name long enough"), std::string::npos);
  for (const auto& name : ListDir(folder)) EXPECT_FALSE(platform::IsTemporaryName(name)) << name;
}

}  // namespace
