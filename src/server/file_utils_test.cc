#include "server/file_utils.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/messages.h"
#include "support/test_site.h"

namespace server {
namespace {

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetOperatorMessageSink([this](const std::string& m) { messages.push_back(m); });
  }
  void TearDown() override { platform::SetOperatorMessageSink(nullptr); }
  testkit::TempDir dir;
  std::vector<std::string> messages;
};

TEST_F(FileUtilsTest, CanWriteToDir) {
  EXPECT_FALSE(CanWriteToDir(""));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "ERROR\r\n\r\ntrying to write to a directory, but the path is empty");

  std::string missing = dir.path() + "/new/deeper";
  EXPECT_TRUE(CanWriteToDir(missing));
  EXPECT_TRUE(testkit::Exists(missing));
  EXPECT_TRUE(CanWriteToDir(dir.path() + "/new/ deeper/"));  // a blank after a separator goes
  EXPECT_TRUE(testkit::ListDir(missing).empty());            // no temporary file left behind

  testkit::WriteFile(dir.path() + "/file", "x");
  EXPECT_FALSE(CanWriteToDir(dir.path() + "/file/sub"));
}

#ifndef _WIN32
TEST_F(FileUtilsTest, UnwritableFolderGetsOwnerWriteOnly) {
  std::string folder = dir.path() + "/locked";
  testkit::MakeDirs(folder);
  chmod(folder.c_str(), 0555);
  if (geteuid() == 0) {
    // Root writes anywhere: try it as an ordinary account that owns the folder.
    chmod(dir.path().c_str(), 0711);
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
      _exit(CanWriteToDir(folder) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  } else {
    EXPECT_TRUE(CanWriteToDir(folder));
  }
  struct stat st {};
  stat(folder.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0755u);  // the owner's write bit, never the world's
  EXPECT_TRUE(testkit::ListDir(folder).empty());
}
#endif

TEST_F(FileUtilsTest, DeleteFileSure) {
  std::string error;
  EXPECT_TRUE(DeleteFileSure(dir.path() + "/absent", error));
  std::string ro = dir.path() + "/readonly.txt";
  testkit::WriteFile(ro, "x");
  ASSERT_TRUE(platform::SetAttributes(ro, platform::kAttrReadOnly));
  EXPECT_TRUE(DeleteFileSure(ro, error));
  EXPECT_FALSE(testkit::Exists(ro));
  EXPECT_EQ(error, "");
}

// The operator is told of paths as this system writes them.
std::string AsTheSystemWritesIt(const std::string& path) {
#ifdef _WIN32
  return platform::NativePath(path);
#else
  return path;
#endif
}

TEST_F(FileUtilsTest, RenameFileSafe) {
  std::string from = dir.path() + "/a.txt", to = dir.path() + "/sub/dir/b.txt";
  EXPECT_FALSE(RenameFileSafe(from, to));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Error renaming file\r\nInitial File NOT FOUND:\r\n" + AsTheSystemWritesIt(from));
  testkit::WriteFile(from, "content");
  EXPECT_TRUE(RenameFileSafe(from, to));
  EXPECT_EQ(testkit::ReadFile(to), "content");
  testkit::MakeDirs(dir.path() + "/full/x");
  testkit::WriteFile(from, "again");
  EXPECT_FALSE(RenameFileSafe(from, dir.path() + "/full"));  // a non-empty folder is in the way
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], "Error renaming file\r\nFound source file:\r\n" +
                             AsTheSystemWritesIt(from) + "\r\nBut could not rename it to:\r\n" +
                             AsTheSystemWritesIt(dir.path() + "/full"));
}

TEST_F(FileUtilsTest, IOErrorTextUsesTheSystemsText) {
#ifdef _WIN32
  EXPECT_EQ(IOErrorText(5), "Error code 5: " + platform::SystemErrorText(5));
  EXPECT_NE(platform::SystemErrorText(5).find("denied"), std::string::npos);
#else
  EXPECT_EQ(IOErrorText(EACCES),
            "Error code " + std::to_string(EACCES) + ": " + std::strerror(EACCES));
  EXPECT_EQ(IOErrorText(5), "Error code 5: Input/output error");
#endif
}

}  // namespace
}  // namespace server
