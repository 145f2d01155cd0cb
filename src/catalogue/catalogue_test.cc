#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/areas.h"
#include "platform/messages.h"

namespace catalogue {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCatalogue();
    platform::SetOperatorMessageSink([this](const std::string& m) { messages.push_back(m); });
  }
  void TearDown() override { platform::SetOperatorMessageSink(nullptr); }
  std::vector<std::string> messages;
};

TEST_F(CatalogueTest, CodesAfterBuild) {
  BuildCatalogue();
  EXPECT_EQ(CodeOf(1), "ARQUR");
  EXPECT_EQ(CodeOf(8), "NSTFS");
  EXPECT_EQ(CodeOf(57), "ZYAD");
  EXPECT_EQ(CodeOf(186), "EFHB09");
  EXPECT_EQ(CodeOf(216), "BQBUC");
  EXPECT_EQ(CodeOf(353), "USL24");
  EXPECT_EQ(CodeOf(354), "USL25");
  EXPECT_EQ(CodeOf(371), "MST12");
  EXPECT_EQ(CodeOf(215), "");
  for (int i = 372; i <= MaxFiles; ++i) ASSERT_EQ(CodeOf(i), "") << i;
  for (int i = 1; i <= WebFiles; ++i) {
    for (char c : CodeOf(i)) ASSERT_FALSE(c >= 'a' && c <= 'z') << i;
  }
  EXPECT_TRUE(CatalogueBuilt);
}

TEST_F(CatalogueTest, TextMapKindAndClaims) {
  BuildCatalogue();
  EXPECT_EQ(TextMapKind[25 - 1], 0);
  EXPECT_EQ(TextMapKind[26 - 1], 0);
  EXPECT_EQ(TextMapKind[24 - 1], 1);
  EXPECT_EQ(TextMapKind[8 - 1], 1);
  EXPECT_EQ(TextMapKind[27 - 1], 1);
  EXPECT_EQ(TextMapKind[29 - 1], 1);
  EXPECT_EQ(TextMapKind[7 - 1], 3);
  EXPECT_EQ(TextMapKind[30 - 1], 3);
  EXPECT_EQ(TextMapKind[742 - 1], 3);
  int claimed = 0;
  for (int i = 1; i <= WebFiles; ++i) claimed += Published[i - 1] ? 1 : 0;
  EXPECT_EQ(claimed, 26);
  EXPECT_TRUE(Published[216 - 1]);
  EXPECT_TRUE(Published[400 - 1]);
  EXPECT_FALSE(Published[2 - 1]);
  EXPECT_TRUE(messages.empty());
}

TEST_F(CatalogueTest, SecondBuildIsTheSameAndSilent) {
  BuildCatalogue();
  auto codes = FileCode;
  auto claims = Published;
  BuildCatalogue();
  EXPECT_EQ(FileCode, codes);
  EXPECT_EQ(Published, claims);
  EXPECT_TRUE(messages.empty());
}

TEST_F(CatalogueTest, ClaimingTwiceIsReported) {
  // During a first build slots above 371 start out claimed.
  for (int i = 1; i <= MaxFiles; ++i) Published[i - 1] = i > WebFiles;
  FileCode[400 - 1] = "";
  PublishFile(400);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "ERROR: File index [400] requested twice to be pub.\r\nFileName: ");
  BuildCatalogue();
  PublishFile(400);  // after the build nothing is claimed or reported
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CatalogueTest, CodeLookups) {
  BuildCatalogue();
  EXPECT_EQ(SlotOfCode("arqur"), 1);
  EXPECT_EQ(SlotOfCode("NsTfs"), 8);
  EXPECT_EQ(SlotOfCode(""), -1);  // the empty slot 215 never matches
  EXPECT_EQ(SlotOfCode("NOPE"), -1);
  EXPECT_EQ(SlotOfExactCode("ARQUR"), 1);
  EXPECT_EQ(SlotOfExactCode("arqur"), -1);
}

TEST(Areas, TableAfterStartUp) {
  InitAreas();
  const char* ids[] = {"Quran",  "Hadeeth",  "Sayings", "Fiqh",   "Beliefs",
                       "Morals", "Lexicons", "Usuul",   "Mthdlgy"};
  int firsts[] = {1, 56, 112, 142, 202, 238, 260, 330, 360};
  int lasts[] = {55, 111, 141, 201, 237, 259, 329, 359, 371};
  int next = 1;
  for (int i = 0; i < AreaCount; ++i) {
    EXPECT_EQ(S_Rec[i].AreaId, ids[i]);
    EXPECT_EQ(S_Rec[i].Caption, ids[i]);
    EXPECT_EQ(S_Rec[i].FirstFile, firsts[i]);
    EXPECT_EQ(S_Rec[i].LastFile, lasts[i]);
    EXPECT_EQ(S_Rec[i].FirstFile, next);
    next = S_Rec[i].LastFile + 1;
    EXPECT_EQ(S_Rec[i].TotF, 0);
  }
  EXPECT_EQ(next, 372);
  EXPECT_EQ(MaxAreaRows, 0);
  EXPECT_EQ(S_Rec[0].ArabicName, "\xDE\xD1\xC2\xE4");      // qaf reh alef-madda noon
  EXPECT_EQ(S_Rec[8].ArabicName, "\xE3\xD5\xD8\xE1\xCD");  // meem sad tah lam hah
}

}  // namespace
}  // namespace catalogue
