#include "server/file_scan.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "platform/files.h"
#include "server/site_paths.h"
#include "support/test_site.h"

namespace server {
namespace {

using testkit::WriteFile;

class FileScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::ResetProgramState();
    catalogue::BuildCatalogue();
    site = std::make_unique<testkit::Site>(dir.path() + "/cgi");
    TXTPath = site->txt;
    IDXPath = site->idx;
  }
  testkit::TempDir dir;
  std::unique_ptr<testkit::Site> site;
};

TEST(StripFileExt, Rules) {
  EXPECT_EQ(StripFileExt("ARQUR.TXT"), "ARQUR");
  EXPECT_EQ(StripFileExt("a.b.IX0"), "a.b");
  EXPECT_EQ(StripFileExt("noext"), "noext");
  EXPECT_EQ(StripFileExt("dir//sub/x.txt"), "dir\\sub\\x");
  EXPECT_EQ(StripFileExt("a\\\\\\b.c"), "a\\b");
}

TEST_F(FileScanTest, FindFileSlotIgnoresCase) {
  bool found = false;
  int slot = 0;
  FindFileSlot("bqbuc.txt", found, slot);
  EXPECT_TRUE(found);
  EXPECT_EQ(slot, 216);
  FindFileSlot("nothing.txt", found, slot);
  EXPECT_FALSE(found);
  EXPECT_EQ(slot, -1);
  FindFileSlot(".TXT", found, slot);  // the empty slot never matches
  EXPECT_FALSE(found);
  // The stem ends at the last dot; a name without one is all stem.
  FindFileSlot("BQBUC", found, slot);
  EXPECT_EQ(slot, 216);
  FindFileSlot("BQBUC.IX0.bak", found, slot);
  EXPECT_FALSE(found);
  // A folder part stays part of the stem, whatever dots it holds.
  FindFileSlot("a.b/BQBUC.TXT", found, slot);
  EXPECT_FALSE(found);
  FindFileSlot("sub\\BQBUC", found, slot);
  EXPECT_FALSE(found);
}

TEST_F(FileScanTest, ABookNeedsItsTextAndAllSixIndexFiles) {
  site->AddBook(1, "a", "b");
  WriteFile(site->TextPath(2), "t");
  site->AddIndexFiles(2, "01245");  // no .IX3
  WriteFile(site->TextPath(3), "t");
  site->AddIndexFiles(3, "01345");          // no .IX2
  site->AddIndexFiles(4);                   // no text
  WriteFile(site->txt + "nstfs.txt", "t");  // lower case names match
  WriteFile(site->idx + "NsTfs.ix0", "i");
  site->AddIndexFiles(8, "12345");
  WriteFile(site->txt + "UNKNOWN.TXT", "t");
  WriteFile(site->idx + "UNKNOWN.IX0", "i");
  site->AddIndexFiles(9, "01234");
  WriteFile(site->idx + "BYDWI.IX6", "i");  // digits 6 to 9 count for nothing
  CallCGIFindAvailFiles();
  EXPECT_EQ(TotFilesOnWeb, 2);
  EXPECT_TRUE(CanUseFile[1]);
  EXPECT_TRUE(CanUseFile[8]);
  EXPECT_FALSE(CanUseFile[2]);
  EXPECT_TRUE(IdxOnWeb[2]);
  EXPECT_FALSE(Ix3OnWeb[2]);
  EXPECT_FALSE(CanUseFile[3]);
  EXPECT_FALSE(IdxOnWeb[3]);
  EXPECT_FALSE(CanUseFile[4]);
  EXPECT_FALSE(TxtOnWeb[4]);
  EXPECT_FALSE(CanUseFile[9]);
}

TEST_F(FileScanTest, ANonDigitIndexNameEndsThePass) {
  site->AddBook(1, "a", "b");    // ARQUR: listed before the stray name
  site->AddBook(56, "a", "b");   // JAMIS: listed before it too
  site->AddBook(300, "a", "b");  // MROMR: listed after it
  WriteFile(site->idx + "MISC.IXA", "i");
  CallCGIFindAvailFiles();
  EXPECT_TRUE(CanUseFile[1]);
  EXPECT_TRUE(CanUseFile[56]);
  EXPECT_FALSE(CanUseFile[300]);
  EXPECT_EQ(TotFilesOnWeb, 2);
}

TEST_F(FileScanTest, TheLeastOfSeveralNonDigitNamesEndsThePass) {
  site->AddBook(1, "a", "b");    // ARQUR
  site->AddBook(56, "a", "b");   // JAMIS: after "BZZ.IXZ", before "MISC.IXA"
  site->AddBook(300, "a", "b");  // MROMR
  WriteFile(site->idx + "MISC.IXA", "i");
  WriteFile(site->idx + "bzz.ixz", "i");  // compared in upper case
  CallCGIFindAvailFiles();
  EXPECT_TRUE(CanUseFile[1]);
  EXPECT_FALSE(CanUseFile[56]);
  EXPECT_FALSE(CanUseFile[300]);
  EXPECT_EQ(TotFilesOnWeb, 1);
}

TEST_F(FileScanTest, EmptyAndMissingFolders) {
  CallCGIFindAvailFiles();
  EXPECT_EQ(TotFilesOnWeb, 0);
  TXTPath = dir.path() + "/none/";
  IDXPath = dir.path() + "/none/";
  CallCGIFindAvailFiles();
  EXPECT_EQ(TotFilesOnWeb, 0);
  for (int s = 1; s <= catalogue::WebFiles; ++s) ASSERT_FALSE(CanUseFile[s]);
}

TEST_F(FileScanTest, ManyUnrelatedEntries) {
  site->AddBook(5, "a", "b");
  for (int i = 0; i < 3000; ++i) {
    WriteFile(site->txt + "x" + std::to_string(i) + ".TXT", "");
    WriteFile(site->idx + "x" + std::to_string(i) + ".IX1", "");
  }
  CallCGIFindAvailFiles();
  EXPECT_EQ(TotFilesOnWeb, 1);
  EXPECT_TRUE(CanUseFile[5]);
}

class FallbackTest : public FileScanTest {
 protected:
  void SetUp() override {
    FileScanTest::SetUp();
    platform::SetDriveRoot(dir.path() + "/drive");
    fallback_txt = dir.path() + "/drive/Kbx32-d4/txt/";
    fallback_idx = dir.path() + "/drive/Kbx32-d4/indexes/";
    testkit::MakeDirs(fallback_txt);
    testkit::MakeDirs(fallback_idx);
    InitSitePaths("/site/cgi/enPanel");
    testkit::MakeDirs(dir.path() + "/drive/site/cgi/fulltxt");
    testkit::MakeDirs(dir.path() + "/drive/site/cgi/fullindexes");
  }
  void TearDown() override { platform::SetDriveRoot(""); }
  std::string fallback_txt, fallback_idx;
};

TEST_F(FallbackTest, BooksInTheProgramFolderNeedNoFallback) {
  WriteFile(dir.path() + "/drive/site/cgi/fulltxt/ARQUR.TXT", "t");
  for (char d : std::string("012345")) {
    WriteFile(dir.path() + "/drive/site/cgi/fullindexes/ARQUR.IX" + d, "i");
  }
  std::string diagnostic = "x";
  CGIFindAvailFiles(diagnostic);
  EXPECT_EQ(diagnostic, "");
  EXPECT_EQ(TotFilesOnWeb, 1);
  EXPECT_EQ(TXTPath, "/site/cgi/fulltxt/");
  EXPECT_EQ(IDXPath, "/site/cgi/fullindexes/");
}

TEST_F(FallbackTest, FallbackFoldersAndTheDiagnostic) {
  // The text file in the first folder, the index files only in the fallback.
  WriteFile(dir.path() + "/drive/site/cgi/fulltxt/ARQUR.TXT", "t");
  for (char d : std::string("012345")) WriteFile(fallback_idx + "ARQUR.IX" + d, "i");
  std::string diagnostic;
  CGIFindAvailFiles(diagnostic);
  EXPECT_EQ(TotFilesOnWeb, 1);
  EXPECT_EQ(TXTPath, "/Kbx32-d4/txt/");
  EXPECT_EQ(IDXPath, "/Kbx32-d4/indexes/");
  EXPECT_EQ(diagnostic,
            "No files available on Default path: /site/cgi/fulltxt/\r\n\r\n"
            "fnCorrectPath(ParamStr(0))= /site/cgi/enPanel\r\n"
            "ExtractFilePath(fnCorrectPath(ParamStr(0)))= /site/cgi/\r\n"
            "_WebPath=(same)= /site/cgi/\r\n"
            "TXTPath:=_WebPath+'fulltxt/'= /site/cgi/fulltxt/\r\n"
            "IDXPath:=_WebPath+'fullindexes/'= /site/cgi/fullindexes/");
}

TEST_F(FallbackTest, NothingAnywhere) {
  std::string diagnostic = "x";
  CGIFindAvailFiles(diagnostic);
  EXPECT_EQ(diagnostic, "");
  EXPECT_EQ(TotFilesOnWeb, 0);
  EXPECT_EQ(TXTPath, "/Kbx32-d4/txt/");
}

}  // namespace
}  // namespace server
