#include "server/site_paths.h"

#include <gtest/gtest.h>

#include "common/paths.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "support/test_site.h"

namespace server {
namespace {

TEST(FnCorrectPath, DropsWhatStandsBeforeTheDrive) {
  EXPECT_EQ(fnCorrectPath("\\\\?\\C:\\web\\cgi\\app.exe"), "C:\\web\\cgi\\app.exe");
  EXPECT_EQ(fnCorrectPath("C:\\web\\cgi\\app.exe"), "C:\\web\\cgi\\app.exe");
  EXPECT_EQ(fnCorrectPath("/srv/www/cgi/enPanel"), "/srv/www/cgi/enPanel");
  EXPECT_EQ(fnCorrectPath(":abc"), ":abc");
  EXPECT_EQ(fnCorrectPath("xyD:\\a:b"), "D:\\a:b");  // only the first colon counts
  EXPECT_EQ(common::ExtractFilePath(fnCorrectPath("\\\\?\\C:\\web\\cgi\\app.exe")),
            "C:\\web\\cgi\\");
}

TEST(SitePaths, StartUpSetsEveryFolder) {
  testkit::TempDir dir;
  platform::SetDriveRoot(dir.path());
  InitSitePaths("/web/a/b/enPanel");
  EXPECT_EQ(_WebPath, "/web/a/b/");
  EXPECT_EQ(StatPath, "/web/a/b/Statistics\\");
  EXPECT_EQ(ZafkarPath, "/web/a/b/Zafkar\\");
  EXPECT_EQ(TXTPath, "/web/a/b/fulltxt/");
  EXPECT_EQ(IDXPath, "/web/a/b/fullindexes/");
  EXPECT_TRUE(testkit::Exists(dir.path() + "/web/a/b/Statistics"));  // parents made too
  EXPECT_FALSE(testkit::Exists(dir.path() + "/web/a/b/Zafkar"));
  platform::SetDriveRoot("");
}

TEST(SitePaths, AFolderThatCannotBeMadeIsToldToTheOperator) {
  testkit::TempDir dir;
  testkit::WriteFile(dir.path() + "/blocker", "a file where a folder should be");
  std::vector<std::string> messages;
  platform::SetOperatorMessageSink([&](const std::string& m) { messages.push_back(m); });
  InitSitePaths(dir.path() + "/blocker/enPanel");
  platform::SetOperatorMessageSink(nullptr);
  ASSERT_EQ(messages.size(), 1u);
  // The folder in the system's own form, and the error that happened.
#ifdef _WIN32
  std::string folder = platform::NativePath(dir.path() + "/blocker/Statistics");
#else
  std::string folder = dir.path() + "/blocker/Statistics";
#endif
  EXPECT_EQ(
      messages[0].rfind("Cannot create the statistics folder " + folder + "\r\nError code ", 0), 0u)
      << messages[0];
}

}  // namespace
}  // namespace server
