// The built program run as a CGI process on generated sites, its standard
// output compared byte for byte with the page assembled from the fixed lines.
#include <gtest/gtest.h>

#include <chrono>

#include "support/expected_page.h"
#include "support/test_site.h"

namespace {

using testkit::Library;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    site = std::make_unique<testkit::Site>(root.path() + "/site/cgi-bin");
    program = testkit::InstallProgram(ENPANEL_BINARY, site->program_folder);
    env = {{"SERVER_PROTOCOL", "HTTP/1.1"},
           {"HTTP_HOST", "localhost"},
           {"REMOTE_ADDR", "127.0.0.1"},
           {"REQUEST_METHOD", "GET"},
           {"ENPANEL_DRIVE_ROOT", root.path()}};
  }
  testkit::RunResult Run() { return testkit::RunProgram(program, env); }

  testkit::TempDir root;
  std::unique_ptr<testkit::Site> site;
  std::string program;
  std::map<std::string, std::string> env;
};

// Books in three areas, among them the pre-ticked 216, with names that the
// page shows cleaned.
Library MakeLibrary(testkit::Site& site) {
  Library shown;
  auto add = [&](int slot, const std::string& raw, const std::string& clean,
                 const std::string& author) {
    site.AddBook(slot, raw, author);
    shown[slot] = {clean, author};
  };
  add(1, "Al-Quran VERSION 3.1", "Al-Quran", "\xC7\xE1\xE1\xE5");  // alef lam lam heh
  add(7, "Tafsir, 7", "Tafsir, 7", "Author Seven");
  for (int f = 56; f <= 62; ++f)
    add(f, "Hadith book " + std::to_string(f), "Hadith book " + std::to_string(f), "Muhaddith");
  add(216, "Aqida \xC7\xE1\xC5\xD5\xCF\xC7\xD1 2", "Aqida", "Imam");  // "edition" in Arabic
  add(371, "Last", "Last", "Final");
  return shown;
}

TEST_F(EndToEnd, FullPageByteForByte) {
  Library books = MakeLibrary(*site);
  std::string page = testkit::ExpectedPage(books, "http://www.kutubix.org/index.html");
  testkit::RunResult first = Run();
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out, testkit::ExpectedHeaders(page.size()) + page);
  EXPECT_TRUE(testkit::Exists(site->program_folder + "Hdrs1020.TXT"));

  // The second request reads the headers file it finds fresh.
  testkit::RunResult second = Run();
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(testkit::ReadFile(testkit::StatFile(site->program_folder + "Statistics", ".ctr")),
            "2\r\n");

  // Without a protocol the page comes alone.
  env["SERVER_PROTOCOL"] = "";
  EXPECT_EQ(Run().out, page);
}

TEST_F(EndToEnd, BooksOnlyInTheDefaultFolders) {
  testkit::Site fallback(root.path() + "/Kbx32-d4");
  // The default folders are named "txt" and "indexes".
  std::rename((root.path() + "/Kbx32-d4/fulltxt").c_str(), (root.path() + "/Kbx32-d4/txt").c_str());
  std::rename((root.path() + "/Kbx32-d4/fullindexes").c_str(),
              (root.path() + "/Kbx32-d4/indexes").c_str());
  testkit::WriteFile(root.path() + "/Kbx32-d4/txt/ARQUR.TXT", testkit::BookText("Q", "A"));
  for (char d : std::string("012345"))
    testkit::WriteFile(root.path() + "/Kbx32-d4/indexes/arqur.ix" + d, "");
  // The headers come from the program folder's own text folder; it has none,
  // so the headers file reports that and the names stay empty.
  testkit::RunResult r = Run();
  EXPECT_NE(r.out.find("name=\"B1\" value=\"ON\""), std::string::npos);
  EXPECT_NE(r.out.find("enPanel: Error trying to read Reference Headers. Aborting program"),
            std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 21), "</form></BODY></HTML>");
}

TEST_F(EndToEnd, PathInfoWritesNothing) {
  site->AddBook(1, "Q", "A");
  env["PATH_INFO"] = "/extra";
  testkit::RunResult r = Run();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(EndToEnd, MirrorNotice) {
  env["HTTP_HOST"] = "mirror.kutubix.com";
  std::string body =
      "<b>Please use our main site</b></br><a href=\"http://www.kutubix.org/\">http://www.kutubix.org/"
      "</a></br>You used: MIRROR.KUTUBIX.COM</form></BODY></HTML>";
  EXPECT_EQ(Run().out, testkit::ExpectedHeaders(body.size()) + body);
}

TEST_F(EndToEnd, HostileRequestsGetACompletePageQuickly) {
  site->AddBook(1, "Q", "A");
  // Linux passes no single environment string above 128 KiB to a program.
  env["HTTP_HOST"] = std::string(128 * 1024 - 16, 'h');
  env["CONTENT_LENGTH"] = "1000000000000";
  env["REQUEST_METHOD"] = "POST";
  auto start = std::chrono::steady_clock::now();
  testkit::RunResult r = Run();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.substr(r.out.size() - 7), "</HTML>");
  EXPECT_LT(seconds, 5.0);
  // A declared body longer than what arrives is read up to the end of input.
  env["CONTENT_LENGTH"] = "100000";
  r = testkit::RunProgram(program, env, "txtsearch1=x");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.substr(r.out.size() - 7), "</HTML>");
}

}  // namespace
