#include "common/page_text.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(LineBreaksToHtml, WorkedResults) {
  EXPECT_EQ(LineBreaksToHtml("abc\r\ndef"), "abc<Br>\ndef");
  EXPECT_EQ(LineBreaksToHtml("abc\r\n"), "abc<Br>\n");
  EXPECT_EQ(LineBreaksToHtml("abc\n\ndef"), "abc<Br>\ndef");
  EXPECT_EQ(LineBreaksToHtml("abc\n"), "abc<Br>");
  EXPECT_EQ(LineBreaksToHtml("abc\ndef"), "abc\ndef");
  EXPECT_EQ(LineBreaksToHtml("a\r\nb\r\nc"), "a<Br>\nb\r\nc");
}

TEST(LineBreaksToHtml, LoneCarriageReturnsAndLeadingBreaks) {
  EXPECT_EQ(LineBreaksToHtml("a\rb"), "a\rb");
  EXPECT_EQ(LineBreaksToHtml("\r\nrest"), "<Br>\nrest");
  EXPECT_EQ(LineBreaksToHtml(""), "");
  // A CR LF CR LF pair: the second break falls inside the three skipped bytes.
  EXPECT_EQ(LineBreaksToHtml("x\r\n\r\nyz"), "x<Br>\n\r\nyz");
  // An LF before CR is replaced; the CR after it is among the skipped bytes.
  EXPECT_EQ(LineBreaksToHtml("ab\n\rcdefgh\r\n"), "ab<Br>\rcdefgh<Br>\n");
  // An LF before LF takes a skipped CR just before it along; with both gone,
  // position p holds the byte after them, so "<Br>" follows that byte.
  EXPECT_EQ(LineBreaksToHtml("X\r\nY\r\n\nZ"), "X<Br>\nY\n<Br>Z");
  // The mirror notice for the host "kutubix.net" CR LF "x" CR LF LF.
  EXPECT_EQ(LineBreaksToHtml("You used: KUTUBIX.NET\r\nX\r\n\n"),
            "You used: KUTUBIX.NET<Br>\nX\n<Br>");
  // The same for a CR LF whose skipped LF before it goes too.
  EXPECT_EQ(LineBreaksToHtml("a\r\nb\n\r\ncdefg"), "a<Br>\nb\n<Br>cdefg");
  // Nothing after the two removed characters: "<Br>" ends the text.
  EXPECT_EQ(LineBreaksToHtml("a\r\nb\r\n\n"), "a<Br>\nb\n<Br>");
  EXPECT_EQ(LineBreaksToHtml("ab\n\r\nxyz"), "ab<Br>\r\nxyz");
  EXPECT_EQ(LineBreaksToHtml("\n\n\n\n"), "<Br>\n\n\n");
}

TEST(LineBreaksToHtml, LongInputIsConvertedWhole) {
  std::string in, expected;
  for (int i = 0; i < 100000; ++i) {
    in += "line\r\n";
    expected += "line<Br>\n";
  }
  EXPECT_EQ(LineBreaksToHtml(in), expected);
}

class PageTextTest : public ::testing::Test {
 protected:
  void SetUp() override { PageText.clear(); }
};

TEST_F(PageTextTest, AppendOperations) {
  AddToPage("");
  EXPECT_EQ(PageText, "");
  AddPageLine("");
  EXPECT_EQ(PageText, "\r\n");
  AddToPage(std::string("a\r\nb"));  // a literal with a break would not compile
  EXPECT_EQ(PageText, "\r\na<Br>\nb");
  Trace("trace lines go nowhere");
  EXPECT_EQ(PageText, "\r\na<Br>\nb");
  SetPageText("<HTML>");
  EXPECT_EQ(PageText, "<HTML>");
}

TEST_F(PageTextTest, FragmentsKeepWhetherTheyHoldALineBreak) {
  PageFragment plain;
  plain.Append({"B", Decimal(7), ".checked ||"});
  PageFragment broken;
  broken.Append({"x", std::string("a\r\nb")});
  AddToPage({"(", plain, plain, ")"});
  EXPECT_EQ(PageText, "(B7.checked ||B7.checked ||)");
  PageText.clear();
  // Written twice, the break is turned into "<Br>" each time, as if the text
  // had been written itself.
  AddToPage({broken, "|"});
  AddToPage(broken);
  EXPECT_EQ(PageText, "xa<Br>\nb|xa<Br>\nb");
}

TEST_F(PageTextTest, AddPageBlockSeparator) {
  AddPageBlock("\r\nx");  // fewer than 4 bytes on the page: CR LF first
  EXPECT_EQ(PageText, "\r\n\r\nx");
  PageText = "top\r\n\r\n";
  AddPageBlock("\r\nnext");
  EXPECT_EQ(PageText, "top\r\n\r\n\r\nnext");
  PageText = "top\r\n\r\n";
  AddPageBlock("next");
  EXPECT_EQ(PageText, "top\r\n\r\n\r\nnext");
  PageText = "top\r\n";
  AddPageBlock("\r\nnext");
  EXPECT_EQ(PageText, "top\r\n\r\n\r\nnext");
  PageText = "top\r\n\r\n";
  AddPageBlock("\r");  // one byte only: not a CR LF start
  EXPECT_EQ(PageText, "top\r\n\r\n\r\n\r");
}

}  // namespace
}  // namespace common
