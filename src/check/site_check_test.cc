#include "check/site_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/clock.h"
#include "platform/commands.h"
#include "server/statistics.h"
#include "support/test_site.h"

namespace check {
namespace {

class SiteCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::ResetProgramState();
    site = std::make_unique<testkit::Site>(dir.path() + "/site");
    for (int slot : {1, 2, 3, 56, 57}) site->AddBook(slot, "Book", "Author");
  }
  // The problems found, one text each.
  std::vector<std::string> Problems(const platform::Account* account = nullptr) {
    report = CheckSite(site->program_folder, account);
    std::vector<std::string> problems;
    for (const Finding& f : report.findings) {
      if (f.problem) problems.push_back(f.text);
    }
    return problems;
  }
  bool Says(const std::string& text) {
    for (const Finding& f : report.findings) {
      if (f.text.find(text) != std::string::npos) return true;
    }
    return false;
  }
  bool MendSays(const std::string& text) {
    for (const Finding& f : report.findings) {
      if (f.mend == text) return true;
    }
    return false;
  }
  testkit::TempDir dir;
  std::unique_ptr<testkit::Site> site;
  SiteReport report;
};

TEST_F(SiteCheckTest, ASoundSiteCountsItsBooksByArea) {
  EXPECT_EQ(Problems(), std::vector<std::string>{});
  EXPECT_TRUE(
      Says("Books present: 5 (Quran 3, Hadeeth 2, Sayings 0, Fiqh 0, Beliefs 0, Morals 0, "
           "Lexicons 0, Usuul 0, Mthdlgy 0)"));
  EXPECT_TRUE(Says("Headers file Hdrs1020.TXT: missing; the first request builds it"));
  std::string text = FormatReport("S", report);
  EXPECT_EQ(text.substr(text.size() - 19), "The site is sound.\n");
}

TEST_F(SiteCheckTest, ABookWithoutAllItsIndexFilesNamesThem) {
  std::remove((site->idx + "ARQUR.IX3").c_str());
  std::remove((site->idx + "ARQUR.IX5").c_str());
  EXPECT_EQ(Problems(), (std::vector<std::string>{"Book ARQUR (1) has its text but not ARQUR.IX3, "
                                                  "ARQUR.IX5 in " +
                                                  site->idx + ": visitors are not offered it"}));
  EXPECT_TRUE(Says("Books present: 4 (Quran 2,"));
}

TEST_F(SiteCheckTest, IndexFilesWithoutAText) {
  std::remove(site->TextPath(2).c_str());
  EXPECT_EQ(Problems(), (std::vector<std::string>{
                            "Index files without a text YUSUF.TXT in " + site->txt +
                            ": YUSUF.IX0, YUSUF.IX1, YUSUF.IX2, YUSUF.IX3, YUSUF.IX4, YUSUF.IX5: "
                            "visitors are not offered the book"}));
}

// Stray files do the page no harm; the check says so and how to move them
// away, naming them in byte order whatever order the folder lists them in.
TEST_F(SiteCheckTest, NamesThatMatchNoCode) {
  testkit::WriteFile(site->txt + "README.TXT", "x");
  testkit::WriteFile(site->idx + "OLDBK.IX0", "x");
  testkit::WriteFile(site->txt + "NOTES.TXT", "x");
  EXPECT_EQ(Problems(), std::vector<std::string>{});
  EXPECT_TRUE(Says(
      "Names that match no book code: fullindexes/OLDBK.IX0, fulltxt/NOTES.TXT, "
      "fulltxt/README.TXT: the program passes them over; the page is none the worse for them"));
#ifndef _WIN32
  EXPECT_TRUE(MendSays("mkdir -p /var/backups/enpanel-strays/ && mv " + site->idx + "OLDBK.IX0 " +
                       site->txt + "NOTES.TXT " + site->txt +
                       "README.TXT /var/backups/enpanel-strays/"));
#endif
}

TEST_F(SiteCheckTest, AnIndexNameWithoutAFinalDigitEndsThePass) {
  testkit::WriteFile(site->idx + "ARQUR.IXB", "x");
  std::vector<std::string> problems = Problems();
  ASSERT_EQ(problems.size(), 1u);
  // In the order of names, ARQUR.IXB comes before the index files of every
  // book but ARQUR's own.
  EXPECT_EQ(problems[0],
            "fullindexes/ARQUR.IXB does not end in a digit: the program stops reading index files "
            "there (in the order of their names): visitors are not offered YUSUF, PIKTL, JAMIS, "
            "ZYAD, whose index files come after it");
}

TEST_F(SiteCheckTest, TheHeadersFileFreshStaleAndItsStamp) {
  const std::string headers = site->program_folder + "Hdrs1020.TXT";
  testkit::WriteFile(headers, "1020\r\n1\r\nARQUR\r\nBook\r\nAuthor\r\n\r\n");
  testkit::SetMTime(headers, 2000000000);
  EXPECT_EQ(Problems(), std::vector<std::string>{});
  EXPECT_TRUE(Says("Headers file Hdrs1020.TXT: stamp 1020, 1 records, fresh"));
  testkit::SetMTime(headers, 1000000000);
  Problems();
  EXPECT_TRUE(
      Says("Headers file Hdrs1020.TXT: stamp 1020, 1 records, stale (older than the "
           "newest book text): the next request rebuilds it"));
  testkit::WriteFile(headers, "1019\r\n");
  testkit::SetMTime(headers, 2000000000);
  EXPECT_EQ(Problems(),
            (std::vector<std::string>{"Headers file Hdrs1020.TXT: stamp 1019, 0 records, "
                                      "fresh; this program writes stamp 1020: the page says the "
                                      "file is of another version and that the headers could not "
                                      "be read"}));
#ifndef _WIN32
  EXPECT_TRUE(MendSays("rm " + headers + "  (the next request builds it anew)"));
#endif
}

TEST_F(SiteCheckTest, RecordsWhoseCodeDisagreesWithTheCatalogue) {
  const std::string headers = site->program_folder + "Hdrs1020.TXT";
  testkit::WriteFile(headers, "1020\r\n1\r\nARQUR\r\nA\r\nB\r\n\r\n2\r\nQRN05\r\nC\r\nD\r\n\r\n");
  testkit::SetMTime(headers, 2000000000);
  EXPECT_EQ(Problems(), (std::vector<std::string>{
                            "Headers record 2 names QRN05, but book 2 of the catalogue is YUSUF: "
                            "the page shows that record's book and author for the book of the "
                            "catalogue, and says the headers could not be read"}));
}

#ifndef _WIN32
TEST_F(SiteCheckTest, WhatTheAccountMayDo) {
  platform::Account other;
  ASSERT_TRUE(platform::LookUpAccount("nobody", other));
  ASSERT_NE(other.id, 0u);
  // As laid out by a run as root: folders only their owner writes.
  chmod(site->program_folder.c_str(), 0755);
  testkit::MakeDirs(site->program_folder + "Statistics");
  std::vector<std::string> problems = Problems(&other);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], "Account nobody cannot write the site folder " + site->program_folder +
                             ": the headers file cannot be built: visitors see \"Headers File "
                             "Not Found\" and no book names");
  EXPECT_EQ(problems[1].rfind("Account nobody cannot write Statistics/ (", 0), 0u) << problems[1];
  EXPECT_NE(problems[1].find("no session marker can be made there"), std::string::npos);
  // The safe layout: the folder group-writable with the sticky bit for the
  // account's group, Statistics/ open to it, one book unreadable.
  if (geteuid() == 0) {
    ASSERT_EQ(chown(site->program_folder.c_str(), 0, other.group_id), 0);
    ASSERT_EQ(chown((site->program_folder + "Statistics").c_str(), other.id, other.group_id), 0);
    chmod(site->program_folder.c_str(), 01775);
    chmod(site->TextPath(3).c_str(), 0600);
    testkit::WriteFile(site->program_folder + "Hdrs1020.TXT", "1020\r\n");  // root's own file
    testkit::SetMTime(site->program_folder + "Hdrs1020.TXT", 2000000000);
    problems = Problems(&other);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0],
              "Account nobody cannot replace Hdrs1020.TXT (root's) in the site folder: the page "
              "is right now, but once a book changes no request can put a new headers file in "
              "place, and from then on visitors see the failed rebuild (with the site's paths) "
              "and no book names");
    EXPECT_TRUE(
        MendSays("chown nobody:" + other.group_name + " " + site->program_folder + "Hdrs1020.TXT"));
    EXPECT_EQ(problems[1], "Account nobody cannot read " + site->txt +
                               "PIKTL.TXT: the page is right now, but once a book changes the "
                               "headers file's rebuild fails and visitors get only an error page");
    EXPECT_TRUE(MendSays("chmod a+r " + site->txt + "PIKTL.TXT"));
    EXPECT_TRUE(Says("Account nobody can write the site folder"));
    EXPECT_TRUE(Says("Account nobody can write Statistics/"));
    // Another program's files in Statistics/ are its own: the account need
    // not write them, and they are never named or mended; this program's are.
    const std::string stats = site->program_folder + "Statistics/";
    testkit::WriteFile(stats + "$arPanel$2026-01-01.log", "x");  // root's
    testkit::WriteFile(stats + "$txtView$2026-01-01@10-00-00.000.Session", "");
    testkit::ForgetKeptListings();
    EXPECT_EQ(Problems(&other).size(), 2u);
    EXPECT_TRUE(Says("Account nobody can write Statistics/"));
    // This program's past days' files, root's too: nothing writes them
    // again, so they are named and no problem.
    testkit::WriteFile(stats + "$enPanel$2026-01-01.log", "x");
    testkit::ForgetKeptListings();
    EXPECT_EQ(Problems(&other).size(), 2u);
    EXPECT_TRUE(Says("it cannot write $enPanel$2026-01-01.log only: past days'"));
    // A marker of its own left behind that the account cannot remove is one.
    testkit::WriteFile(stats + "$enPanel$2026-01-02@10-00-00.000.Session", "");
    testkit::ForgetKeptListings();
    problems = Problems(&other);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const std::string& p) {
      return p.find(
                 "cannot write these files in Statistics/: $enPanel$2026-01-01.log, "
                 "$enPanel$2026-01-02@10-00-00.000.Session") != std::string::npos &&
             p.find("arPanel") == std::string::npos && p.find("txtView") == std::string::npos;
    }));
  }
}

// Names the account put where it may write: today's counter a link to a
// root-only file, the log and the headers file second names of root-only
// files. No mend (printed or carried out) names them; each is named with
// the command that removes the name alone. Root: the targets are root's.
TEST_F(SiteCheckTest, NoMendNamesAFileTheAccountLinkedIn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the files linked to are root's only";
  platform::Account other;
  ASSERT_TRUE(platform::LookUpAccount("nobody", other));
  const std::string stats = site->program_folder + "Statistics/";
  testkit::MakeDirs(stats);
  ASSERT_EQ(chown(site->program_folder.c_str(), 0, other.group_id), 0);
  ASSERT_EQ(chown(stats.c_str(), other.id, other.group_id), 0);
  chmod(site->program_folder.c_str(), 01775);
  const std::string secret = dir.path() + "/secret", other_secret = dir.path() + "/secret2";
  testkit::WriteFile(secret, "root's");
  testkit::WriteFile(other_secret, "root's");
  chmod(secret.c_str(), 0600);
  chmod(other_secret.c_str(), 0600);
  const std::string day = server::FormatDayStamp(platform::LocalNow());
  const std::string counter = "$enPanel$" + day + ".ctr", log = "$enPanel$" + day + ".log";
  ASSERT_EQ(symlink(secret.c_str(), (stats + counter).c_str()), 0);
  ASSERT_EQ(link(other_secret.c_str(), (stats + log).c_str()), 0);
  ASSERT_EQ(link(secret.c_str(), (site->program_folder + "Hdrs1020.TXT").c_str()), 0);
  Problems(&other);
  for (const Finding& f : report.findings) {
    for (const std::string& name : {counter, log, std::string("Hdrs1020.TXT")}) {
      EXPECT_TRUE(f.mend.find(name) == std::string::npos || f.mend.rfind("rm ", 0) == 0)
          << f.text << "\n"
          << f.mend;
    }
  }
  EXPECT_TRUE(Says(counter + ", " + log +
                   " in Statistics/ are a link or another file's second name, as the account "
                   "could have put there: no mend acts through it"));
  EXPECT_TRUE(MendSays("rm " + platform::QuotedForCommand({stats + counter, stats + log}) +
                       "  (the next visit makes its own)"));
  EXPECT_TRUE(Says("Hdrs1020.TXT in the site folder is a link or another file's second name"));
  std::string log_text;
  EXPECT_TRUE(CarryOutRepairs(other, report, log_text)) << log_text;
  struct stat st {};
  ASSERT_EQ(stat(secret.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(stat(other_secret.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
}

// Left session markers: this program's named with the command that removes
// them, the siblings' named as theirs; a book folder behind a folder the
// account may not search: that folder named, with the entry that lets it by.
TEST_F(SiteCheckTest, LeftMarkersAndBooksTheAccountCannotReach) {
  const std::string stats = site->program_folder + "Statistics/";
  testkit::WriteFile(stats + "$enPanel$2025-11-01@10-00-00.00.Session", "");
  testkit::WriteFile(stats + "$qryGate$2025-11-01@10-00-00.00.Session", "");
  testkit::WriteFile(stats + "$enPanel$2026-01-01@10-00-00.00.Session", "");  // a visit now
  testkit::SetMTime(stats + "$enPanel$2025-11-01@10-00-00.00.Session", 1761991200);
  testkit::SetMTime(stats + "$qryGate$2025-11-01@10-00-00.00.Session", 1761991200);
  EXPECT_EQ(Problems(), (std::vector<std::string>{
                            "Session markers left behind in Statistics/ (older than an hour): "
                            "$enPanel$2025-11-01@10-00-00.00.Session: each counts as a running "
                            "session in every log line of the four programs"}));
  EXPECT_TRUE(MendSays("rm " + platform::QuotedForCommand(std::vector<std::string>{
                                   stats + "$enPanel$2025-11-01@10-00-00.00.Session"})));
  EXPECT_TRUE(
      Says("Session markers of other programs left behind in Statistics/ (older than an "
           "hour): $qryGate$2025-11-01@10-00-00.00.Session"));
  if (geteuid() != 0) return;
  platform::Account web;
  ASSERT_TRUE(platform::LookUpAccount("nobody", web));
  std::filesystem::remove_all(stats);
  chmod(dir.path().c_str(), 0755);
  chmod(site->program_folder.c_str(), 0777);
  // The book texts moved into a home folder only its owner may search.
  const std::string home = dir.path() + "/home", texts = site->txt.substr(0, site->txt.size() - 1);
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  std::filesystem::rename(texts, home + "/fulltxt");
  std::filesystem::create_symlink(home + "/fulltxt", texts);
  std::vector<std::string> problems = Problems(&web);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "Account nobody cannot reach " + texts + ": it may not search " + home +
                             " (root's) on the way there: the books in it are not found, "
                             "and visitors get an error page instead");
  std::string log;
  ASSERT_TRUE(CarryOutRepairs(web, report, log)) << log;
  EXPECT_EQ(Problems(&web), std::vector<std::string>{});
  EXPECT_TRUE(Says("Account nobody can read the book files"));
}

// A site of the operator's own account (brought from another server):
// the mends grant the web account entries (and the folders the sticky bit,
// which keeps the siblings' files from it) and never take the folders
// over; --fix carries them out and the site is sound, its owners unchanged.
TEST_F(SiteCheckTest, AFolderOfTheOperatorsOwnAccountIsGrantedAnEntry) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the folders are another account's";
  platform::Account web;
  ASSERT_TRUE(platform::LookUpAccount("nobody", web));
  const std::string stats = site->program_folder + "Statistics";
  testkit::MakeDirs(stats);
  for (const std::string& folder : {site->program_folder, stats}) {
    ASSERT_EQ(chown(folder.c_str(), 1, 1), 0);  // daemon's, as the site's own account
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  }
  std::vector<std::string> problems = Problems(&web);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].rfind("Account nobody cannot write the site folder " +
                                  site->program_folder + " (daemon's): ",
                              0),
            0u)
      << problems[0];
  const std::string folder = site->program_folder.substr(0, site->program_folder.size() - 1);
  EXPECT_TRUE(MendSays("setfacl -m u:nobody:rwx " + folder + " && chmod +t " + folder));
  EXPECT_TRUE(MendSays("setfacl -m u:nobody:rwx " + stats + " && chmod +t " + stats));
  std::string log;
  if (!CarryOutRepairs(web, report, log)) GTEST_SKIP() << "no access-control lists here: " << log;
  testkit::ForgetKeptListings();
  EXPECT_EQ(Problems(&web), std::vector<std::string>{});
  struct stat st {};
  for (const std::string& folder : {site->program_folder, stats}) {
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 1u);
    EXPECT_EQ(st.st_mode & 07707, 01705u);  // the sticky bit added (the group bits show the mask)
  }
}

TEST(QuotedForCommand, OnlyWhatTheShellWouldRead) {
  EXPECT_EQ(platform::QuotedForCommand("/srv/kutubix/Hdrs1020.TXT"), "/srv/kutubix/Hdrs1020.TXT");
  EXPECT_EQ(platform::QuotedForCommand("/srv/a b|c&d"), "'/srv/a b|c&d'");
  EXPECT_EQ(platform::QuotedForCommand("/srv/$enPanel$x"), "'/srv/$enPanel$x'");
  EXPECT_EQ(platform::QuotedForCommand("it's"), "'it'\\''s'");
}
#endif

#ifndef _WIN32
// Years of day files in Statistics/: once listing them costs a request more
// than the limit, the check says so and how to move the years before this
// one away; run, the command leaves today's files and the markers in place.
// (The limit is taken as nothing here, so that the test does not hang on
// how quick this machine lists a folder.)
TEST_F(SiteCheckTest, AnOldStatisticsFolderIsNamedWithTheCommandThatArchivesIt) {
  const std::string stats = site->program_folder + "Statistics/";
  testkit::MakeDirs(stats);
  std::string today = "$enPanel$" + std::to_string(platform::LocalNow().year) + "-01-01";
  testkit::WriteFile(stats + today + ".ctr", "1");
  testkit::WriteFile(stats + "$arPanel$2030-01-01@10-00-00.000.Session", "");
  auto archive_command = [&] {
    report = CheckSite(site->program_folder, nullptr, 0.0);
    for (const Finding& f : report.findings) {
      if (f.text.rfind("Statistics/ holds", 0) == 0) return f.mend;
    }
    return std::string();
  };
  EXPECT_EQ(archive_command(), "") << "nothing to move: no line";
  // Ten years of four programs' counters and logs.
  for (int year = 2010; year < 2020; ++year) {
    for (int day = 1; day <= 365; ++day) {
      char stamp[16];
      std::snprintf(stamp, sizeof stamp, "%d-%02d-%02d", year, 1 + (day - 1) / 31,
                    1 + (day - 1) % 31);
      for (const char* program : {"arPanel", "enPanel", "qryGate", "txtView"}) {
        std::string base = stats + "$" + program + "$" + stamp;
        testkit::WriteFile(base + ".ctr", "");
        testkit::WriteFile(base + ".log", "");
      }
    }
  }
  std::string mend = archive_command();
  EXPECT_TRUE(Says("Statistics/ holds 29202 files, back to 2010: listing them"));
  EXPECT_TRUE(
      Says("Statistics/ also holds 21900 day files of other programs (arPanel, qryGate, "
           "txtView) from before this year, back to 2010"));
  EXPECT_EQ(mend, platform::ArchiveYearsCommand(
                      site->program_folder + "Statistics", "enPanel",
                      {2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018, 2019}));
  ASSERT_EQ(std::system(mend.c_str()), 0);
  // Only this program's days moved: today's, the marker and the others'
  // files stay, beside a folder a year.
  EXPECT_EQ(testkit::ListDir(stats).size(), 2u + 21900u + 10u);
  EXPECT_TRUE(std::filesystem::exists(stats + today + ".ctr"));
  EXPECT_TRUE(std::filesystem::exists(stats + "$qryGate$2015-03-05.log"));
  EXPECT_TRUE(std::filesystem::exists(stats + "2015/$enPanel$2015-03-05.log"));
  EXPECT_EQ(testkit::ListDir(stats + "2019").size(), 365u * 2u);
  // Their operator moves the others' past years away too.
  for (const std::string& name : testkit::ListDir(stats)) {
    if (name.rfind("$enPanel$", 0) != 0 && name.find('@') == std::string::npos &&
        name.find('$') == 0) {
      std::filesystem::remove(stats + name);
    }
  }
  EXPECT_EQ(archive_command(), "") << "nothing left to move";
  // A past day's file again: named past a limit of nothing, but a folder
  // that lists as quickly as this one is not named past the real limit.
  testkit::WriteFile(stats + "$enPanel$2012-01-01.log", "");
  EXPECT_NE(archive_command(), "");
  report = CheckSite(site->program_folder, nullptr);
  EXPECT_FALSE(Says("Statistics/ holds"));
}
#endif

}  // namespace
}  // namespace check
