#include "catalogue/book_headers.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "common/page_text.h"
#include "server/site_paths.h"
#include "support/test_site.h"

namespace catalogue {
namespace {

using testkit::WriteFile;

TEST(CleanBookName, EditionWords) {
  // "Tafsir" in Arabic letters stands in front of each word.
  const std::string title = "\xCA\xDD\xD3\xED\xD1";  // teh feh seen yeh reh
  for (const std::string& word : {
           std::string(
               "\xC7\xE1\xC5\xD5\xCF\xC7\xD1"),  // alef lam alef-hamza-below sad dal alef reh
           std::string("\xC7\xE1\xC5\xD5\xCF\xF3\xC7\xD1"),  // the same with a fatha
           std::string("\xC7\xE1\xC7\xD5\xCF\xC7\xD1"),      // alef lam alef sad dal alef reh
           std::string("\xC5\xD5\xCF\xC7\xD1"),              // alef-hamza-below sad dal alef reh
       }) {
    EXPECT_EQ(CleanBookName(title + " \xA1 " + word + " 2"), title) << word;
  }
}

TEST(CleanBookName, VersionInAnyCase) {
  EXPECT_EQ(CleanBookName("Tafsir 12, Version 3"), "Tafsir 12");
  EXPECT_EQ(CleanBookName("Tafsir VERSION"), "Tafsir");
  EXPECT_EQ(CleanBookName("Tafsir: version 2.1 ..."), "Tafsir");
  EXPECT_EQ(CleanBookName("VERSION 4"), "");
  EXPECT_EQ(CleanBookName("Sahih 1234 .,"), "Sahih 1234 .,");  // no word: unchanged
  EXPECT_EQ(CleanBookName("Sahih, vol 2"), "Sahih, vol 2");
  EXPECT_EQ(CleanBookName(""), "");
}

class BookHeadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::ResetProgramState();
    BuildCatalogue();
    folder = dir.path() + "/books/";
  }
  testkit::TempDir dir;
  std::string folder;
};

TEST_F(BookHeadersTest, RecordsInSlotOrder) {
  WriteFile(
      folder + "YUSUF.TXT",
      "junk line\r\n*book*  Second  \r\nx *AUTHOR* not here\r\n*Author*Writer\r\n*BOOK* ignored\r\n");
  WriteFile(folder + "ARQUR.TXT", "*BOOK* First\n*AUTHOR*   A. Author\n");
  WriteFile(folder + "QRN04.TXT", "*BOOK* No author\r\n*END*\r\n*AUTHOR* too late\r\n");
  WriteFile(folder + "QRN05.TXT", "no markers at all\r\n");
  WriteFile(folder + "NOTACODE.TXT", "*BOOK* stray\r\n");
  std::string out;
  EXPECT_EQ(AddHeadersToFile(out, folder), 4);
  EXPECT_EQ(out,
            "1\r\nARQUR\r\nFirst\r\nA. Author\r\n\r\n"
            "2\r\nYUSUF\r\nSecond  \r\nWriter\r\n\r\n"
            "4\r\nQRN04\r\nNo author\r\n\r\n\r\n"
            "5\r\nQRN05\r\n\r\n\r\n\r\n");
}

TEST_F(BookHeadersTest, LowerCaseFileNamesAndEmptySlot) {
  WriteFile(folder + "nstfs.txt", "*BOOK* Lower\r\n*AUTHOR* Case\r\n");
  WriteFile(folder + ".TXT", "*BOOK* the empty slot\r\n");
  std::string out;
  EXPECT_EQ(AddHeadersToFile(out, folder), 1);
  EXPECT_EQ(out, "8\r\nNSTFS\r\nLower\r\nCase\r\n\r\n");
}

TEST_F(BookHeadersTest, OpenBookTextReportsAMissingFile) {
  server::TXTPath = folder;
  common::PageText.assign(1, 'x');
  platform::InputFile file;
  EXPECT_FALSE(OpenBookText(3, file));
  EXPECT_EQ(common::PageText,
            "x\r\n***ERROR in FILEUTIL, could not open TEXT file" + folder + "PIKTL.TXT");
  WriteFile(folder + "PIKTL.TXT", "text");
  EXPECT_TRUE(OpenBookText(3, file));
}

}  // namespace
}  // namespace catalogue
