// Whole requests, run in this process, with one file operation after another
// made to fail (the platform's fault seam, on POSIX systems and Windows
// alike): the page is always complete, the headers file and its backup are
// each a complete old or new file, the counter moves by one at most, the log
// holds whole lines only, and the next request is sound and leaves nothing
// behind.
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

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

// A request that finds nothing kept from earlier ones (where a platform
// keeps folder listings), so that each makes the same calls.
std::string Request(const std::string& folder) {
  testkit::ForgetKeptListings();
  return testkit::RequestInProcess(folder);
}

enum class Headers { kFresh, kStale, kMissing };

using Op = faults::Op;

bool IsTemporaryOrMarker(const std::string& name) {
  return platform::IsTemporaryName(name) || name.find(".Session") != std::string::npos;
}

// What a failed call may leave behind by design; nothing else may stay.
struct LeftBehind {
  Op op;
  bool (*may_stay)(const std::string& name);
  const char* why;
};
const LeftBehind kLeftBehind[] = {
    {Op::kRemove, IsTemporaryOrMarker,
     "a temporary file whose removal failed waits for the clean-up of abandoned files (ten "
     "minutes); a session marker whose removal failed is told to the operator"},
};

// The kinds of call a request makes, so that each is failed at least once.
// A request never makes the others: kTruncate (a counter whose new number is
// shorter than the old), kSeek (the file service moves in no open file a request writes),
// kSetAttributes (a file made writable before it is deleted), kMakeFolder (a statistics folder that
// is missing), and, as the system has it, kCopy (Windows keeps the backup as a copy) or kLink
// (elsewhere a second name).
std::vector<Op> KindsMade(Headers headers) {
  std::vector<Op> kinds = {Op::kOpen, Op::kCreate, Op::kRead, Op::kWrite, Op::kRemove,
                           Op::kList, Op::kStat,   Op::kLock, Op::kClose};
  if (headers != Headers::kFresh) {
    // The rebuild: a new file, flushed, put in place, the old one kept.
    kinds.insert(kinds.end(), {Op::kSync, Op::kRename});
#ifdef _WIN32
    if (headers == Headers::kStale) kinds.push_back(Op::kCopy);
#else
    if (headers == Headers::kStale) kinds.push_back(Op::kLink);
#endif
  }
  return kinds;
}

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
    start_count = testkit::Counted(stats) - 1;
    start_lines = testkit::WholeLogLines(stats) - 1;
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
          name != "Hdrs1020.TXT" && name != "Hdrs1020.bak" && name != "Hdrs1020.lock") {
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
    long counted = testkit::Counted(stats);
    EXPECT_TRUE(counted == count || counted == count + 1) << what << ": counter " << counted;
    int now_lines = testkit::WholeLogLines(stats);
    EXPECT_TRUE(now_lines == lines || now_lines == lines + 1)
        << what << ": log lines " << now_lines;

    // The next request, with nothing failing, is sound.
    faults::Reset();
    std::string next = Request(folder);
    EXPECT_TRUE(IsWholePage(next)) << what;
    EXPECT_EQ(next.find("Reference Headers"), std::string::npos) << what;
    std::string after = ReadFile(headers);
    EXPECT_TRUE(after == new_headers || after == rebuilt_headers) << what;
    EXPECT_EQ(testkit::Counted(stats), counted + 1) << what;
    EXPECT_EQ(testkit::WholeLogLines(stats), now_lines + 1) << what;
    for (const auto& name : Strays()) {
      bool allowed = false;
      for (const LeftBehind& left : kLeftBehind) {
        allowed = allowed || (left.op == failed && left.may_stay(name));
      }
      EXPECT_TRUE(allowed) << what << ": left behind: " << name;
      // A marker left by design would count as a running session from now
      // on; temporary files go before the next call fails (Restore).
      if (allowed && name.find(".Session") != std::string::npos) {
        std::remove((stats + name).c_str());
      }
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
  std::set<Op> failed_kinds;
  for (long n = 1; n <= calls; ++n) {
    Restore(start_count, start_lines);
    faults::Reset();
    faults::FailNth(n, faults::kIoError);
    std::string page = Request(folder);
    faults::Op failed = faults::LastFailed();
    faults::Reset();
    failed_kinds.insert(failed);
    std::string what = "call " + std::to_string(n) + " (" + faults::OpName(failed) + ")";
    CheckAfterFault(what, page, start_count, start_lines, failed);
    if (HasFailure()) break;
  }
  for (Op kind : KindsMade(GetParam())) {
    EXPECT_EQ(failed_kinds.count(kind), 1u) << "no call of kind " << faults::OpName(kind);
  }
}

TEST_P(FaultInjection, EveryCallOfOneKindFails) {
  for (int op = 0; op < static_cast<int>(faults::Op::kCount); ++op) {
    Restore(start_count, start_lines);
    faults::Reset();
    faults::FailEvery(static_cast<faults::Op>(op), op == static_cast<int>(faults::Op::kWrite)
                                                       ? faults::kNoSpace
                                                       : faults::kAccessDenied);
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

}  // namespace
