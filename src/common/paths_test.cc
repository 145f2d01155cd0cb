#include "common/paths.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(Paths, SeparatorsBecomeSingleBackslashes) {
  EXPECT_EQ(NormalizeSeparators("a//b\\\\\\c/"), "a\\b\\c\\");
  EXPECT_EQ(NormalizeSeparators(""), "");
}

TEST(Paths, FolderAndFileParts) {
  // Either separator, or the drive's colon, ends the folder part.
  EXPECT_EQ(ExtractFilePath("C:\\web\\cgi\\app.exe"), "C:\\web\\cgi\\");
  EXPECT_EQ(ExtractFilePath("/site/cgi/fulltxt/"), "/site/cgi/fulltxt/");
  EXPECT_EQ(ExtractFilePath("C:Hdrs1020.TXT"), "C:");
  EXPECT_EQ(ExtractFilePath("Hdrs1020.TXT"), "");
  EXPECT_EQ(ExtractFileName("/site/cgi\\Hdrs1020.TXT"), "Hdrs1020.TXT");
  EXPECT_EQ(ExtractFileName("Hdrs1020.TXT"), "Hdrs1020.TXT");
}

}  // namespace
}  // namespace common
