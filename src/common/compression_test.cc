// The page's compressed forms decompress to the page, and are far smaller.
#include "common/compression.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/decompress.h"

namespace common {
namespace {

// Text like the page's: lines of a table with Arabic names, repeated with
// small differences.
std::string PageLike() {
  std::string text;
  std::mt19937 random(7);
  for (int row = 0; row < 3000; ++row) {
    text += "<tr><td><input type=checkbox name=b" + std::to_string(row) +
            "></td><td>\xC7\xE1\xDF\xCA\xC7\xC8 " +  // alef lam kaf teh alef beh
            std::to_string(random() % 1000) + "</td></tr>\r\n";
  }
  return text;
}

TEST(Compression, EachFormDecompressesToTheContent) {
  const std::string page = PageLike();
  std::string gzip;
  ASSERT_TRUE(Compress(Coding::kGzip, page, gzip));
  EXPECT_EQ(testkit::Gunzip(gzip), page);
  EXPECT_LT(gzip.size(), page.size() / 5);
  std::string same;
  ASSERT_TRUE(Compress(Coding::kIdentity, page, same));
  EXPECT_EQ(same, page);
  std::string brotli;
  if (!CanCompress(Coding::kBrotli)) {
    EXPECT_FALSE(Compress(Coding::kBrotli, page, brotli));
    return;
  }
  ASSERT_TRUE(Compress(Coding::kBrotli, page, brotli));
  EXPECT_EQ(testkit::Unbrotli(brotli), page);
  EXPECT_LT(brotli.size(), gzip.size()) << "brotli at its best beats gzip at its best";
}

TEST(Compression, EmptyAndTinyContent) {
  for (const std::string& content : {std::string(), std::string("x")}) {
    std::string gzip;
    ASSERT_TRUE(Compress(Coding::kGzip, content, gzip));
    EXPECT_EQ(testkit::Gunzip(gzip), content);
    std::string brotli;
    if (CanCompress(Coding::kBrotli)) {
      ASSERT_TRUE(Compress(Coding::kBrotli, content, brotli));
      EXPECT_EQ(testkit::Unbrotli(brotli), content);
    }
  }
}

}  // namespace
}  // namespace common
