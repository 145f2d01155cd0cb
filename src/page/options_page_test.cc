#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "catalogue/areas.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "page/area_scripts.h"
#include "page/book_grid.h"
#include "page/options_handler.h"
#include "page/page_head.h"
#include "platform/files.h"
#include "server/file_scan.h"
#include "server/site_paths.h"
#include "support/expected_page.h"
#include "support/test_site.h"

namespace page {
namespace {

using common::PageText;

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::ResetProgramState();
    catalogue::BuildCatalogue();
  }
  // Marks the books present and gives them names, as the scan and the
  // headers file would.
  void Present(const testkit::Library& books) {
    for (const auto& [slot, book] : books) {
      server::CanUseFile[slot] = true;
      catalogue::BookHeaders[slot].BookName = book.name;
      catalogue::BookHeaders[slot].AuthorName = book.author;
    }
    server::TotFilesOnWeb = static_cast<int>(books.size());
  }
  testkit::Library Books(int first, int count) {
    testkit::Library books;
    for (int f = first; f < first + count; ++f)
      books[f] = {"Name " + std::to_string(f), "By " + std::to_string(f)};
    return books;
  }
};

TEST_F(PageTest, HeadWithTheEnglishKeyboard) {
  PageText = "dropped";
  WritePageHead();
  EXPECT_EQ(PageText, testkit::ExpectedHead());
  EXPECT_NE(PageText.find("\r\n<DIV ID=\"Keys\" style=\"display:none;\">\r\n"), std::string::npos);
  EXPECT_NE(PageText.find("bordercolor=\"#FF00FF\">\r\n"), std::string::npos);
  EXPECT_NE(
      PageText.find("\r\n<Area SHAPE=\"RECT\" COORDS=\"149,4,160,16\" onclick=\"frmFind.keywords."
                    "value=frmFind.keywords.value+'\xC7';\">\r\n"),  // alef
      std::string::npos);
  EXPECT_NE(PageText.find("\r\n</MAP>\r\n\r\n<IMG SRC="), std::string::npos);
  const std::string tail =
      "\r\n</form>\r\n</Center>\r\n<HEAD><TITLE>Kutubix - Search Engine</TITLE></HEAD>";
  EXPECT_EQ(PageText.substr(PageText.size() - tail.size()), tail);
}

TEST_F(PageTest, ScriptLinesWithPresentAndAbsentBooks) {
  testkit::Library books = {{7, {"a", "b"}}, {9, {"c", "d"}}, {216, {"e", "f"}}};
  Present(books);
  PageText.clear();
  WriteFixedScript();
  EXPECT_EQ(PageText, testkit::ExpectedScriptBlock(books));
  EXPECT_NE(PageText.find("  if (e.name!=\"Mthdlgy\" && e.name!=\"Usuul\" && "), std::string::npos);
  EXPECT_NE(PageText.find(
                "e.name!=\"Quran\" && e.name!= \"FINDALL\" && e.name!= \"FntSize\" && e.checked)"),
            std::string::npos);
  EXPECT_NE(PageText.find(
                "if (document.EntryForm.B7.checked ||document.EntryForm.B9.checked ||"
                "document.EntryForm.Quranck.checked){document.all.Quran.style.background="
                "\"#FF99FF\"; }else if (!document.EntryForm.B7.checked &&!document.EntryForm.B9."
                "checked &&!document.EntryForm.Quranck.checked){"),
            std::string::npos);
  // An area without books keeps only its own box in the conditions.
  EXPECT_NE(
      PageText.find("}if (document.EntryForm.Hadeethck.checked){document.all.Hadeeth.style."
                    "background=\"#FF99FF\"; }else if (!document.EntryForm.Hadeethck.checked){"),
      std::string::npos);
  EXPECT_NE(
      PageText.find("if (!document.EntryForm.B7.checked ||!document.EntryForm.B9.checked ||"
                    "document.EntryForm.Quranck.checked)document.EntryForm.Quranck.click();}"),
      std::string::npos);
  EXPECT_NE(PageText.find(
                "if (document.EntryForm.Hadeethck.checked)document.EntryForm.Hadeethck.click();"),
            std::string::npos);
  EXPECT_NE(PageText.find("<b><font size=\"5\">Al Kutubix Project - Search Engine </font></b>"
                          "<b><font color=\"Green\"><font size=\"3\"><a href=\"arPanel.exe\">"),
            std::string::npos);
}

TEST_F(PageTest, AreaFunctions) {
  Present({{7, {"a", "b"}}, {9, {"c", "d"}}});
  PageText.clear();
  WriteAreaScripts();
  EXPECT_NE(
      PageText.find("function notAllCheckedQuran() {  if (document.EntryForm.Quranck.checked && "
                    "(!document.EntryForm.B7.checked||!document.EntryForm.B9.checked))"
                    "document.EntryForm.Quranck.checked =!document.EntryForm.Quranck.checked }"),
      std::string::npos);
  EXPECT_NE(PageText.find("  if (document.EntryForm.Hadeethck.checked && (false))"),
            std::string::npos);
  EXPECT_NE(PageText.find("       if (e.name==\"B7\" || e.name==\"B9\" || e.name==\"Quranck\")"),
            std::string::npos);
  EXPECT_NE(PageText.find("       if (e.name==\"Hadeethck\")  e.checked"), std::string::npos);
  EXPECT_NE(PageText.find("      if (e.name==\"Hadeethck\")"), std::string::npos);
  EXPECT_NE(
      PageText.find("function unCheckAllHadeeth() {   if (!document.EntryForm.Hadeethck.checked)"),
      std::string::npos);
  EXPECT_EQ(PageText.find("B8"), std::string::npos);  // an absent book is named nowhere
  // CheckAll for all nine areas first, notAllChecked for all nine last.
  EXPECT_LT(PageText.find("function CheckAllMthdlgy"), PageText.find("function unCheckAllQuran"));
  EXPECT_LT(PageText.find("function colorcellMthdlgy"),
            PageText.find("function notAllCheckedQuran"));
}

TEST_F(PageTest, RowLayoutPerArea) {
  testkit::Library books = Books(1, 5);              // Quran: 5 books
  for (auto& [k, v] : Books(56, 6)) books[k] = v;    // Hadeeth: 6
  for (auto& [k, v] : Books(112, 11)) books[k] = v;  // Sayings: 11
  Present(books);
  BuildRowLists();
  EXPECT_EQ(catalogue::S_Rec[0].TotF, 13);
  EXPECT_EQ(catalogue::MaxAreaRows, 13);
  EXPECT_EQ(F_Rec[0][5].FileIx, 5);
  EXPECT_EQ(F_Rec[0][6].FileIx, kFillerRow);
  EXPECT_EQ(F_Rec[1][6].FileIx, kSeparatorRow);
  EXPECT_EQ(F_Rec[1][7].FileIx, 61);
  EXPECT_EQ(F_Rec[1][8].FileIx, kFillerRow);
  EXPECT_EQ(F_Rec[2][6].FileIx, kSeparatorRow);
  EXPECT_EQ(F_Rec[2][12].FileIx, kSeparatorRow);
  EXPECT_EQ(F_Rec[2][13].FileIx, 122);
  EXPECT_EQ(F_Rec[8][13].FileIx, kFillerRow);
  EXPECT_EQ(F_Rec[1][7].BookName, "Name 61");
  EXPECT_EQ(F_Rec[1][7].InfoLine, "By 61");
}

TEST_F(PageTest, GridRowsOfEveryKind) {
  testkit::Library books = Books(212, 6);  // 212..217: crosses into Beliefs, holds 216
  Present(books);
  catalogue::BookHeaders[216].BookName = "Tafsir VERSION 2";
  books[216].name = "Tafsir";
  BuildRowLists();
  PageText.clear();
  WriteBookGrid();
  EXPECT_EQ(PageText, testkit::ExpectedGrid(books, "http://www.kutubix.org/index.html"));
  EXPECT_NE(PageText.find("name=\"B216\" value=\"ON\" onClick=\"countchecked();unCheckAllBeliefs();"
                          "colorcellBeliefs();notAllCheckedBeliefs()\"Checked>"),
            std::string::npos);
  EXPECT_NE(PageText.find("name=\"B217\" value=\"ON\" onClick=\"countchecked();unCheckAllBeliefs();"
                          "colorcellBeliefs();notAllCheckedBeliefs()\">"),
            std::string::npos);
}

TEST_F(PageTest, EmptyGridHasItsTwoHeaderRows) {
  BuildRowLists();
  PageText.clear();
  WriteBookGrid();
  EXPECT_EQ(catalogue::MaxAreaRows, 0);
  EXPECT_NE(PageText.find("</span><br></td><tr></Table>"), std::string::npos);
}

TEST(HtmlEscape, Specials) {
  EXPECT_EQ(HtmlEscape("A&B<C>\"D'"), "A&amp;B&lt;C&gt;&quot;D&#39;");
  EXPECT_EQ(HtmlEscape("WWW.KUTUBIX.NET"), "WWW.KUTUBIX.NET");
}

// The handler run in this process on a generated site.
class HandlerTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    request.variables[common::kHost] = "localhost";
    platform::SetDriveRoot(dir.path());
    testkit::MakeDirs(dir.path() + "/site/cgi");
    server::InitSitePaths("/site/cgi/enPanel");
    site = std::make_unique<testkit::Site>(dir.path() + "/site/cgi");
  }
  void TearDown() override { platform::SetDriveRoot(""); }
  std::string Run() {
    PageText.clear();
    testkit::TestResponse response;
    bool handled = false;
    DoEngineAction1(request, response, handled);
    EXPECT_TRUE(handled);
    return response.content;
  }
  testkit::TempDir dir;
  std::unique_ptr<testkit::Site> site;
  testkit::TestRequest request;
};

TEST_F(HandlerTest, NoBooksGivesTheErrorBody) {
  EXPECT_EQ(Run(),
            testkit::ExpectedHead() +
                "\r\nERROR<br>No FILES available in Headers File: /site/cgi/Hdrs1020.TXT<br>"
                "\r\nIt will be deleted now<br>Run this program again, to try to generate it<br>"
                "enPanel: Error trying to read Reference Headers. Aborting program"
                "ERROR 1 in enPanel1: No Files Available on Web"
                "TotFilesOnWeb=0<br>TXTPath=/Kbx32-d4/txt/<br>IDXPath=/Kbx32-d4/indexes/<br>"
                "</form></BODY></HTML>");
}

TEST_F(HandlerTest, FallbackBooksShowTheDiagnosticOnlyOnErrors) {
  site->AddBook(1, "Quran", "One");
  // A row build that fails: an area reaching past the library.
  catalogue::S_Rec[8].LastFile = 400;
  std::string page = Run();
  EXPECT_NE(
      page.find(
          "<br>>>> EnPanel1: Error 0 exception in arpanel1-<br>"
          "ERROR 2 in enPanel1: Failed INITIALIZING FILES"
          "TotFilesOnWeb=1<br>TXTPath=/site/cgi/fulltxt/<br>IDXPath=/site/cgi/fullindexes/<br>"
          "</form></BODY></HTML>"),
      std::string::npos)
      << page;
  for (const auto& list : F_Rec) EXPECT_TRUE(list.empty());
}

TEST_F(HandlerTest, BothErrorLinesAndTheDiagnostic) {
  testkit::Site fallback(dir.path() + "/elsewhere");
  testkit::WriteFile(dir.path() + "/Kbx32-d4/txt/ARQUR.TXT", testkit::BookText("Q", "A"));
  for (char d : std::string("012345"))
    testkit::WriteFile(dir.path() + "/Kbx32-d4/indexes/ARQUR.IX" + d, "");
  catalogue::S_Rec[0].LastFile = 400;
  std::string page = Run();
  EXPECT_NE(
      page.find("ERROR 2 in enPanel1: Failed INITIALIZING FILESTotFilesOnWeb=1<br>"
                "No files available on Default path: /site/cgi/fulltxt/<Br>\n\r\n"
                "fnCorrectPath(ParamStr(0))= /site/cgi/enPanel<Br>\n"
                "ExtractFilePath(fnCorrectPath(ParamStr(0)))= /site/cgi/<Br>\n"
                "_WebPath=(same)= /site/cgi/<Br>\n"
                "TXTPath:=_WebPath+'fulltxt/'= /site/cgi/fulltxt/<Br>\n"
                "IDXPath:=_WebPath+'fullindexes/'= /site/cgi/fullindexes/<br>"
                "TXTPath=/Kbx32-d4/txt/<br>IDXPath=/Kbx32-d4/indexes/<br></form></BODY></HTML>"),
      std::string::npos)
      << page;
  EXPECT_EQ(page.find("ERROR 1"), std::string::npos);
}

TEST_F(HandlerTest, MirrorHostsGetTheNotice) {
  request.variables[common::kHost] = "www.Kutubix.net<script>";
  EXPECT_EQ(Run(),
            "<b>Please use our main site</b></br><a href=\"http://www.kutubix.org/\">"
            "http://www.kutubix.org/</a></br>You used: WWW.KUTUBIX.NET&lt;SCRIPT&gt;"
            "</form></BODY></HTML>");
  request.variables[common::kHost] = "kutubix.com";
  EXPECT_EQ(Run().rfind("<b>Please use our main site</b>", 0), 0u);
  request.variables[common::kHost] = "www.kutubix.org";
  EXPECT_EQ(Run().rfind("<HTML>", 0), 0u);
}

#ifndef _WIN32
TEST_F(HandlerTest, AnUnreadableHeadersFileGivesTheGuardPage) {
  site->AddBook(1, "Quran", "One");
  // A book text that opens but cannot be read: reading it raises an I/O error.
  ASSERT_EQ(symlink("/proc/self/mem", (site->txt + "YUSUF.TXT").c_str()), 0);
  EXPECT_EQ(Run(), testkit::ExpectedHead() + "<BODY>ERROR encountered... Aborting.</BODY></HTML>");
  for (const auto& name : testkit::ListDir(dir.path() + "/site/cgi")) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;  // no half-written file stays
  }
}
#endif

}  // namespace
}  // namespace page
