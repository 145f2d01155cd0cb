#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/fault_injection.h"
#include "platform/folder_cache.h"
#include "platform/messages.h"
#include "support/test_site.h"

namespace platform {
namespace {

TEST(WildcardMatch, WindowsRules) {
  EXPECT_TRUE(WildcardMatch("*.TXT", "arqur.txt"));
  EXPECT_TRUE(WildcardMatch("*.TXT", ".TXT"));
  EXPECT_FALSE(WildcardMatch("*.TXT", "arqur.txt.bak"));
  EXPECT_TRUE(WildcardMatch("*.IX*", "ARQUR.IX0"));
  EXPECT_TRUE(WildcardMatch("*.IX*", "a.ix"));
  EXPECT_FALSE(WildcardMatch("*.IX*", "ARQUR.TXT"));
  EXPECT_TRUE(WildcardMatch("*.*", "noextension"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("BRWS2026-12-06*.*", "BRWS2026-12-06"));
  EXPECT_TRUE(WildcardMatch("BRWS2026-12-06*.*", "brws2026-12-06abc.htm"));
  EXPECT_FALSE(WildcardMatch("BRWS2026-12-06*.*", "BRWS2026-12-07abc.htm"));
  EXPECT_TRUE(WildcardMatch("a?c", "abc"));
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_TRUE(WildcardMatch("*.Session", "$enPanel$2026-12-07@08-00-00.00.Session"));
  EXPECT_TRUE(WildcardMatch("*a*b*c", "xxaxxbxxbxxc"));
  EXPECT_FALSE(WildcardMatch("*a*b*c", "xxaxxbxxbxxcd"));
  EXPECT_TRUE(WildcardMatch("*a?b*", "*xxaybzz"));  // a star in the name is no star in the pattern
  EXPECT_TRUE(WildcardMatch("?", "*"));
  EXPECT_TRUE(WildcardMatch("*.TXT.*", "arqur.txt"));  // the trailing ".*" may match nothing
  EXPECT_TRUE(WildcardMatch("*.TXT.*", "arqur.txt.bak"));
  EXPECT_FALSE(WildcardMatch("*.TXT.*", "arqur.txtbak"));
}

TEST(FindCaseless, FirstBytesLettersOrNot) {
  constexpr auto npos = std::string_view::npos;
  EXPECT_EQ(FindCaseless("arqur.ix0", ".IX"), 5u);
  EXPECT_EQ(FindCaseless("a.b.ix5", ".IX"), 3u);  // the first dot starts no match
  EXPECT_EQ(FindCaseless("name.", "."), 4u);      // the last place a match can start
  EXPECT_EQ(FindCaseless("x.i", ".IX"), npos);
  EXPECT_EQ(FindCaseless("xxAbC", "abc"), 2u);
  EXPECT_EQ(FindCaseless("ab", "abc"), npos);
  EXPECT_EQ(FindCaseless("", ""), 0u);
  // Bytes past ASCII compare as they are: alef lam, then "x" in either case.
  EXPECT_EQ(FindCaseless("\xC7\xE1x", "\xE1X"), 1u);
  EXPECT_EQ(FindCaseless("\xC7\xE1x", "\xC1X"), npos);
  EXPECT_TRUE(WildcardMatch("*.IX*", "a.b.ix5"));
  EXPECT_FALSE(WildcardMatch("*.IX*", "a.b.i"));
}

class FilesTest : public ::testing::Test {
 protected:
  testkit::TempDir dir;
};

TEST_F(FilesTest, NamesResolveWithoutRegardToCase) {
  testkit::WriteFile(dir.path() + "/Site/fulltxt/ARQUR.TXT", "book");
#ifndef _WIN32  // Windows resolves letter case itself
  EXPECT_EQ(NativePath(dir.path() + "\\site\\FullTXT\\arqur.txt"),
            dir.path() + "/Site/fulltxt/ARQUR.TXT");
  EXPECT_EQ(NativePath(dir.path() + "/site/new/file"), dir.path() + "/Site/new/file");
#endif
  EXPECT_TRUE(FileExists(dir.path() + "/SITE/FULLTXT/Arqur.Txt"));
  EXPECT_TRUE(DirectoryExists(dir.path() + "\\site\\FullTXT\\"));
  EXPECT_FALSE(FileExists(dir.path() + "/site/fulltxt/missing.txt"));
  std::string contents;
  ASSERT_TRUE(ReadWholeFile(dir.path() + "/site//FULLtxt/arqur.TXT", contents));
  EXPECT_EQ(contents, "book");
  // A file created through another letter case lands in the existing folder.
  ASSERT_TRUE(WriteWholeFile(dir.path() + "/SITE/FULLTXT/new.txt", "n"));
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/Site/fulltxt/new.txt"), "n");
}

TEST_F(FilesTest, DriveRootStandsForRootedPaths) {
  testkit::WriteFile(dir.path() + "/Kbx32-D4/TXT/A.TXT", "x");
  SetDriveRoot(dir.path());
  EXPECT_TRUE(FileExists("/Kbx32-d4/txt/a.txt"));
  EXPECT_TRUE(FileExists("\\Kbx32-D4\\Txt\\A.TXT"));
  EXPECT_EQ(FindFiles("/Kbx32-d4/txt/*.TXT").size(), 1u);
  SetDriveRoot("");
  EXPECT_FALSE(FileExists("/Kbx32-d4/txt/a.txt"));
}

TEST_F(FilesTest, ListingOrderAndKinds) {
  for (const char* name : {"b.txt", "A.TXT", "_x.txt", "a1.txt", "C.TXT", ".hidden.txt"}) {
    testkit::WriteFile(dir.path() + "/" + name, "");
  }
  testkit::MakeDirs(dir.path() + "/folder.txt");
  auto entries = FindFiles(dir.path() + "/*.txt");
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const auto& e : entries) names.push_back(e.name);
  // Upper-case byte order: '.' < '1' < 'A'..'Z' < '_'.
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.txt", "A.TXT", "a1.txt", "b.txt", "C.TXT",
                                             "folder.txt", "_x.txt"}));
#ifndef _WIN32  // a leading dot hides a file only on POSIX
  EXPECT_NE(entries[0].attributes & kAttrHidden, 0u);
#endif
  EXPECT_NE(entries[5].attributes & kAttrDirectory, 0u);
  EXPECT_TRUE(FindFiles(dir.path() + "/missing/*.txt").empty());
}

TEST_F(FilesTest, CreateAndReplace) {
  std::string path = dir.path() + "/marker";
  EXPECT_EQ(CreateNewFile(path), CreateResult::kCreated);
  EXPECT_EQ(CreateNewFile(path), CreateResult::kExists);
  EXPECT_EQ(CreateNewFile(dir.path() + "/no/such/folder/x"), CreateResult::kFailed);

  std::string a, b;
  ASSERT_TRUE(CreateUniqueFile(dir.path(), "temp", a));
  ASSERT_TRUE(CreateUniqueFile(dir.path(), "temp", b));
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(dir.path() + "/~enPanel-temp-", 0), 0u);
  EXPECT_TRUE(IsTemporaryName(a.substr(dir.path().size() + 1)));

  std::string target = dir.path() + "/headers.txt", backup = dir.path() + "/headers.bak";
  ASSERT_TRUE(WriteWholeFile(a, "first"));
  ASSERT_TRUE(ReplaceWithBackup(a, target, backup));  // no previous file: no backup
  EXPECT_FALSE(testkit::Exists(backup));
  ASSERT_TRUE(WriteWholeFile(b, "second"));
  ASSERT_TRUE(ReplaceWithBackup(b, target, backup));
  EXPECT_EQ(testkit::ReadFile(target), "second");
  EXPECT_EQ(testkit::ReadFile(backup), "first");
  EXPECT_FALSE(testkit::Exists(a));
  EXPECT_FALSE(testkit::Exists(b));
  EXPECT_EQ(testkit::ListDir(dir.path()).size(), 3u);  // marker, target, backup
}

TEST_F(FilesTest, AppendNeedsAnExistingFile) {
  std::string log = dir.path() + "/log";
  EXPECT_EQ(AppendToFile(log, "x"), AppendResult::kNothingWritten);
  EXPECT_EQ(CreateNewFile(log), CreateResult::kCreated);
  EXPECT_EQ(AppendToFile(log, "a\r\n"), AppendResult::kAppended);
  EXPECT_EQ(AppendToFile(log, "b\r\n"), AppendResult::kAppended);
  EXPECT_EQ(testkit::ReadFile(log), "a\r\nb\r\n");
}

#ifndef _WIN32
// A line the file cannot take whole (here past the size a process may
// write) leaves nothing of itself: trying again cannot fuse two lines.
TEST_F(FilesTest, AnAppendCutShortIsTakenBack) {
  std::string log = dir.path() + "/x.log";
  testkit::WriteFile(log, "line1\n");
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{10, 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(static_cast<int>(AppendToFile(log, "0123456789\n")));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(AppendResult::kNothingWritten));
  EXPECT_EQ(testkit::ReadFile(log), "line1\n");
}
#endif

// What a build reads is noted by the folder each path lies in, once per
// folder however it is written, and by each file whose time or contents it
// read; a missing name is no failure, other failures are counted.
TEST_F(FilesTest, RecordedFoldersAndCountedFailures) {
  testkit::WriteFile(dir / "Books/a.txt", "a");
  StartRecordingFolders();
  FileTime time = 0;
  EXPECT_TRUE(GetModifiedTime(dir / "Books/a.txt", time));
  EXPECT_FALSE(FileExists(dir / "BOOKS\\missing.txt"));
  FindFiles(dir / "Other/*.TXT");
  std::string contents;
  ReadWholeFile(dir / "top.txt", contents);
  auto recorded = StopRecordingFolders();
  std::set<std::string> keys, files;
  for (const auto& [key, folder] : recorded.folders) {
    keys.insert(key);
    EXPECT_EQ(FolderKey(folder), key);
  }
  for (const auto& [key, file] : recorded.files) files.insert(key);
  EXPECT_EQ(keys, (std::set<std::string>{FolderKey(dir / "books"), FolderKey(dir / "other"),
                                         FolderKey(dir.path())}));
  EXPECT_EQ(files,
            (std::set<std::string>{FolderKey(dir / "books/a.txt"), FolderKey(dir / "top.txt")}))
      << "a name only looked for is no file read";
  EXPECT_EQ(FolderKey("\\cgi-bin\\fulltxt\\"), "/CGI-BIN/FULLTXT");
  recorded = StopRecordingFolders();
  EXPECT_TRUE(recorded.folders.empty() && recorded.files.empty())
      << "nothing noted once recording stopped";

  unsigned long before = FailuresSoFar();
  EXPECT_FALSE(FileExists(dir / "nowhere/at/all.txt"));
  EXPECT_EQ(FailuresSoFar(), before) << "a name not there is no failure";
#ifndef _WIN32
  faults::FailNth(1, EMFILE);
  EXPECT_FALSE(ReadWholeFile(dir / "Books/a.txt", contents));
  faults::Reset();
  EXPECT_EQ(FailuresSoFar(), before + 1) << "descriptors that ran out are a failure";
#endif
}

TEST(TemporaryNames, OnlyTheProgramsOwnForm) {
  EXPECT_EQ(TemporaryName("hdr", 0x1A2B3C4D5E6F7081ULL), "~enPanel-hdr-1A2B3C4D5E6F7081.tmp");
  EXPECT_TRUE(IsTemporaryName("~enPanel-temp-0000000000000001.tmp"));
  // Operators' files, and near misses in letter case or length.
  for (const char* name : {"HDRS1020.TMP", "Hdrs1020.lnk", "hdr1A2B.tmp", "temp12.tmp",
                           "~ENPANEL-hdr-1A2B3C4D5E6F7081.tmp", "~enPanel-hdr-1a2b3c4d5e6f7081.tmp",
                           "~enPanel-hdr-1A2B3C4D5E6F708.tmp", "~enPanel-hdr-1A2B3C4D5E6F7081.TMP",
                           "~enPanel--1A2B3C4D5E6F7081.tmp", "~enPanel-HDR-1A2B3C4D5E6F7081.tmp",
                           "~enPanel-hdr-1A2B3C4D5E6F7081.tmp.bak"}) {
    EXPECT_FALSE(IsTemporaryName(name)) << name;
  }
}

// What an administrator's tool reads and writes in a folder another account
// may write: no link is followed, no file with a second name is read, and a
// name already taken (even by a link to nothing) is never written through.
TEST_F(FilesTest, NamesAnotherAccountMayPlantAreNeitherReadNorWrittenThrough) {
  namespace fs = std::filesystem;
  const std::string own = dir.path() + "/own", secret = dir.path() + "/secret";
  testkit::WriteFile(own, "ours");
  testkit::WriteFile(secret, "not to be read");
  std::string contents;
  EXPECT_TRUE(ReadFileOfOneName(own, contents));
  EXPECT_EQ(contents, "ours");
  fs::create_hard_link(secret, dir.path() + "/second");
  EXPECT_FALSE(ReadFileOfOneName(dir.path() + "/second", contents));
  EXPECT_EQ(LastErrorCode(), kRefusedName);
  EXPECT_TRUE(contents.empty());
  EXPECT_FALSE(ReadFileOfOneName(dir.path(), contents));
  EXPECT_FALSE(ReadFileOfOneName(dir.path() + "/missing", contents));
  EXPECT_TRUE(IsMissingNameError(LastErrorCode()));

  EXPECT_EQ(WriteNewFile(dir.path() + "/new", "made"), CreateResult::kCreated);
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/new"), "made");
  EXPECT_EQ(WriteNewFile(own, "again"), CreateResult::kExists);
  EXPECT_EQ(WriteNewFile(dir.path() + "/second", "over"), CreateResult::kExists);
  EXPECT_EQ(testkit::ReadFile(own), "ours");
  EXPECT_EQ(testkit::ReadFile(secret), "not to be read");

  std::error_code no_links;
  fs::create_symlink(secret, dir.path() + "/link", no_links);
  if (!no_links) fs::create_symlink(dir.path() + "/nothing", dir.path() + "/dangling", no_links);
  if (no_links) GTEST_SKIP() << "no symbolic links here: " << no_links.message();
  EXPECT_FALSE(ReadFileOfOneName(dir.path() + "/link", contents));
  EXPECT_EQ(LastErrorCode(), kRefusedName);
  EXPECT_EQ(WriteNewFile(dir.path() + "/link", "over"), CreateResult::kExists);
  EXPECT_EQ(WriteNewFile(dir.path() + "/dangling", "through"), CreateResult::kExists);
  EXPECT_EQ(testkit::ReadFile(secret), "not to be read");
  EXPECT_FALSE(testkit::Exists(dir.path() + "/nothing"));
}

#ifndef _WIN32
TEST_F(FilesTest, RenameBetweenTwoLinksOfOneFileIsNoSuccess) {
  std::string a = dir.path() + "/a", b = dir.path() + "/b";
  testkit::WriteFile(a, "same");
  ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
  // rename() does nothing here and says it succeeded; the source still stands.
  EXPECT_FALSE(RenameFile(a, b));
  EXPECT_TRUE(testkit::Exists(a));
}

TEST_F(FilesTest, ABackupThatIsAlreadyALinkOfTheTargetLeavesNoStagingName) {
  std::string target = dir.path() + "/Hdrs1020.TXT", backup = dir.path() + "/Hdrs1020.bak";
  testkit::WriteFile(target, "old");
  // Another request has just kept the same file as the backup.
  ASSERT_EQ(link(target.c_str(), backup.c_str()), 0);
  std::string fresh;
  ASSERT_TRUE(CreateUniqueFile(dir.path(), "hdr", fresh));
  ASSERT_TRUE(WriteWholeFile(fresh, "new", true));
  ASSERT_TRUE(ReplaceWithBackup(fresh, target, backup));
  EXPECT_EQ(testkit::ReadFile(target), "new");
  EXPECT_EQ(testkit::ReadFile(backup), "old");
  EXPECT_EQ(testkit::ListDir(dir.path()),
            (std::vector<std::string>{"Hdrs1020.TXT", "Hdrs1020.bak"}));
}

#ifdef ENPANEL_FAULT_INJECTION
// Where hard links are refused (some network shares) the backup is a copy;
// on a drive-rooted path too.
TEST_F(FilesTest, TheBackupIsACopyWhereLinksAreRefused) {
  SetDriveRoot(dir.path());
  testkit::WriteFile(dir.path() + "/site/Hdrs1020.TXT", "old");
  std::string fresh;
  ASSERT_TRUE(CreateUniqueFile("/site/", "hdr", fresh));
  ASSERT_TRUE(WriteWholeFile(fresh, "new"));
  faults::FailEvery(faults::Op::kLink, EPERM);
  bool replaced = ReplaceWithBackup(fresh, "\\site\\Hdrs1020.TXT", "\\site\\Hdrs1020.bak");
  faults::Reset();
  SetDriveRoot("");
  ASSERT_TRUE(replaced) << SystemErrorText(LastErrorCode());
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/site/Hdrs1020.TXT"), "new");
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/site/Hdrs1020.bak"), "old");
  EXPECT_EQ(testkit::ListDir(dir.path() + "/site"),
            (std::vector<std::string>{"Hdrs1020.TXT", "Hdrs1020.bak"}));
}
#endif

#ifdef ENPANEL_FAULT_INJECTION
// A listing kept from an earlier request is used again only while its
// folder is shown unchanged, and only when the folder's times were already
// old enough, when it was read, that a later change moves them.
class KeptListings : public FilesTest {
 protected:
  void SetUp() override {
    folder = dir.path() + "/txt";
    testkit::WriteFile(folder + "/A.TXT", "a");
  }
  void TearDown() override {
    faults::Reset();
    folder_cache::SetClockForTests(nullptr);
  }
  // Names listed in a new request; with `reading_fails`, a listing that has
  // to be read anew comes back empty.
  std::vector<std::string> ListedInANewRequest(bool reading_fails = false) {
    BeginRequest();
    if (reading_fails) faults::FailEvery(faults::Op::kList, EIO);
    std::vector<std::string> names;
    for (const auto& entry : FindFiles(folder + "/*.TXT")) names.push_back(entry.name);
    faults::Reset();
    return names;
  }
  // Ten seconds on: the folder's times are old when it is read.
  static FileTime Later() { return FileTimeNow() + FileTimeFromUnixSeconds(10); }
  std::string folder;
};

TEST_F(KeptListings, AnUnchangedFolderIsNotReadAgain) {
  folder_cache::SetClockForTests(&Later);
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"A.TXT"});
  EXPECT_EQ(ListedInANewRequest(true), std::vector<std::string>{"A.TXT"});
}

// Changes made just before each request, by the clock the program runs on:
// within one step of the file system's clock a removal may leave the
// folder's times as the addition before it left them, so only the guard
// against freshly changed folders makes these right on every file system.
TEST_F(KeptListings, NamesAddedOrRemovedJustBeforeARequestAreSeen) {
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"A.TXT"});
  testkit::WriteFile(folder + "/B.TXT", "b");  // by another process
  EXPECT_EQ(ListedInANewRequest(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
  std::remove((folder + "/A.TXT").c_str());
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"B.TXT"});
  testkit::WriteFile(folder + "/A.TXT", "a");
  std::remove((folder + "/B.TXT").c_str());
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"A.TXT"});
  // The folder itself replaced by another of the same name.
  std::filesystem::rename(folder, dir.path() + "/old");
  testkit::WriteFile(folder + "/C.TXT", "c");
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"C.TXT"});
}

// A folder whose times were old when it was read: a change that moves them
// is seen. Each change here sets the folder's modification time to a value
// of its own, as a file system whose clock has moved on would.
TEST_F(KeptListings, AChangeThatMovesAnOldFolderTimesIsSeen) {
  namespace fs = std::filesystem;
  folder_cache::SetClockForTests(&Later);
  const fs::file_time_type long_ago = fs::last_write_time(folder) - std::chrono::hours(24);
  fs::last_write_time(folder, long_ago);
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"A.TXT"});
  testkit::WriteFile(folder + "/B.TXT", "b");
  fs::last_write_time(folder, long_ago + std::chrono::seconds(1));
  EXPECT_EQ(ListedInANewRequest(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
  std::remove((folder + "/A.TXT").c_str());
  fs::last_write_time(folder, long_ago + std::chrono::seconds(2));
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"B.TXT"});
}

TEST_F(KeptListings, AFolderChangedJustBeforeItWasReadIsReadAgain) {
  // Read at once after its last change: a change within the same step of
  // the file system's clock could leave its times as they were.
  EXPECT_EQ(ListedInANewRequest(), std::vector<std::string>{"A.TXT"});
  EXPECT_TRUE(ListedInANewRequest(true).empty());
}

TEST_F(KeptListings, LetterCaseIsLookedUpAnewInEachRequest) {
  folder_cache::SetClockForTests(&Later);
  BeginRequest();
  EXPECT_EQ(NativePath(folder + "/a.txt"), folder + "/A.TXT");
  std::rename((folder + "/A.TXT").c_str(), (folder + "/a.txt").c_str());
  BeginRequest();
  EXPECT_EQ(NativePath(folder + "/a.txt"), folder + "/a.txt");
  EXPECT_EQ(NativePath(folder + "/A.TXT"), folder + "/a.txt");
}
#endif

TEST_F(FilesTest, TheReplacementBearsTheTargetsOwnSpelling) {
  std::string old_spelling = dir.path() + "/hdrs1020.txt";
  testkit::WriteFile(old_spelling, "old");
  std::string fresh;
  ASSERT_TRUE(CreateUniqueFile(dir.path(), "hdr", fresh));
  ASSERT_TRUE(WriteWholeFile(fresh, "new"));
  ASSERT_TRUE(ReplaceWithBackup(fresh, dir.path() + "/Hdrs1020.TXT", dir.path() + "/Hdrs1020.bak"));
  EXPECT_EQ(testkit::ListDir(dir.path()),
            (std::vector<std::string>{"Hdrs1020.TXT", "Hdrs1020.bak"}));
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/Hdrs1020.TXT"), "new");
  EXPECT_EQ(testkit::ReadFile(dir.path() + "/Hdrs1020.bak"), "old");
}
#endif

TEST_F(FilesTest, RewriteInPlaceKeepsTheFileAndCutsItsLength) {
  std::string counter = dir.path() + "/counter";
  testkit::WriteFile(counter, "0099\r\n");
  LockedFile file;
  ASSERT_TRUE(file.TryOpenLocked(counter));
  ASSERT_TRUE(file.Rewrite("100\r\n"));
  file.Close();
  EXPECT_EQ(testkit::ReadFile(counter), "100\r\n");
}

TEST_F(FilesTest, LockedFileExcludesASecondHolder) {
  std::string counter = dir.path() + "/counter";
  LockedFile first, second;
  ASSERT_TRUE(first.TryOpenLocked(counter));
  EXPECT_FALSE(second.TryOpenLocked(counter));
  ASSERT_TRUE(first.Rewrite("41\r\n"));
  ASSERT_TRUE(first.Rewrite("42\r\n"));
  std::string text;
  ASSERT_TRUE(first.ReadAll(text));
  EXPECT_EQ(text, "42\r\n");
  first.Close();
  EXPECT_TRUE(second.TryOpenLocked(counter));
}

TEST_F(FilesTest, AttributesAndTimes) {
  std::string f = dir.path() + "/f";
  testkit::WriteFile(f, "x");
  ASSERT_TRUE(SetAttributes(f, kAttrReadOnly));
  std::uint32_t attributes = 0;
  ASSERT_TRUE(GetAttributes(f, attributes));
  EXPECT_NE(attributes & kAttrReadOnly, 0u);
  ASSERT_TRUE(SetAttributes(f, kAttrArchive));
  ASSERT_TRUE(GetAttributes(f, attributes));
  EXPECT_EQ(attributes & kAttrReadOnly, 0u);
  FileTime t1 = 0, t2 = 0;
  ASSERT_TRUE(SetModifiedTime(f, FileTimeFromUnixSeconds(1000000000) + 1));
  ASSERT_TRUE(GetModifiedTime(f, t1));
  ASSERT_TRUE(SetModifiedTime(f, FileTimeFromUnixSeconds(1000000000) + 2));
  ASSERT_TRUE(GetModifiedTime(f, t2));
  EXPECT_LT(t1, t2);  // full resolution, below a second
  EXPECT_FALSE(GetModifiedTime(dir.path() + "/none", t1));
  EXPECT_NE(LastErrorCode(), 0);
}

TEST(OperatorMessage, OneLine) {
  EXPECT_EQ(OneLineMessage("ERROR\r\n\r\ntrying\nto\rgo"), "ERROR |  | trying | to | go");
}

}  // namespace
}  // namespace platform
