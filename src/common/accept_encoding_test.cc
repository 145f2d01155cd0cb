// The coding chosen for a request's Accept-Encoding, as RFC 9110 reads.
#include "common/accept_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace common {
namespace {

// With both forms ready, the coding for `accept`.
Coding Both(const std::string& accept) { return ChooseCoding(accept, true, true, true); }

TEST(AcceptEncoding, WhatBrowsersAndOtherClientsSend) {
  EXPECT_EQ(Both("gzip, deflate, br"), Coding::kBrotli);
  EXPECT_EQ(Both("gzip, deflate, br, zstd"), Coding::kBrotli);
  EXPECT_EQ(Both("gzip"), Coding::kGzip);
  EXPECT_EQ(Both("x-gzip"), Coding::kGzip) << "x-gzip is gzip";
  EXPECT_EQ(Both("GZIP, BR"), Coding::kBrotli) << "codings ignore letter case";
  EXPECT_EQ(Both("deflate"), Coding::kIdentity) << "nothing we keep";
  EXPECT_EQ(Both("identity"), Coding::kIdentity);
  EXPECT_EQ(ChooseCoding("", false, true, true), Coding::kIdentity) << "no field: as today";
  EXPECT_EQ(Both(""), Coding::kIdentity) << "an empty field wants no coding";
}

TEST(AcceptEncoding, WeightsRefusalsAndTheStar) {
  EXPECT_EQ(Both("br;q=0.5, gzip;q=0.8"), Coding::kGzip);
  EXPECT_EQ(Both("br;q=0, gzip"), Coding::kGzip);
  EXPECT_EQ(Both("br; q=0.000, gzip;q=0.001"), Coding::kGzip);
  EXPECT_EQ(Both("gzip;q=0, br;q=0"), Coding::kIdentity);
  EXPECT_EQ(Both("*"), Coding::kBrotli) << "the star stands for every coding";
  EXPECT_EQ(Both("br;q=0, *"), Coding::kGzip) << "named before the star";
  EXPECT_EQ(Both("*;q=0.3, identity"), Coding::kIdentity);
  EXPECT_EQ(Both("identity;q=1, gzip;q=1"), Coding::kGzip) << "at equal weights, the smaller";
  EXPECT_EQ(Both("gzip;q=0.1"), Coding::kGzip) << "identity unnamed comes last";
  EXPECT_EQ(Both("identity;q=0, *;q=0"), Coding::kIdentity) << "all refused: as today";
  EXPECT_EQ(Both("gzip;Q=0.7;level=2, br;q=0.6"), Coding::kGzip);
  EXPECT_EQ(Both("gzip;q=1.0, br;q=0.999"), Coding::kGzip);
}

TEST(AcceptEncoding, ElementsNotWellFormedCountAsNotThere) {
  EXPECT_EQ(Both("br;q=2, gzip"), Coding::kGzip) << "a weight past 1";
  EXPECT_EQ(Both("br;q=0.5000, gzip;q=0.1"), Coding::kGzip) << "four decimals";
  EXPECT_EQ(Both("br;q=1.5"), Coding::kIdentity);
  EXPECT_EQ(Both("br;q, gzip;q=0.2"), Coding::kGzip);
  EXPECT_EQ(Both("b r, gzip"), Coding::kGzip);
  EXPECT_EQ(Both(" ,, br ,"), Coding::kBrotli) << "empty elements are skipped";
  EXPECT_EQ(Both("br;q=0.5, br;q=0, gzip;q=0.4"), Coding::kBrotli) << "the first naming counts";
}

TEST(AcceptEncoding, OnlyFormsThatAreReady) {
  EXPECT_EQ(ChooseCoding("gzip, br", true, true, false), Coding::kGzip);
  EXPECT_EQ(ChooseCoding("gzip, br", true, false, false), Coding::kIdentity);
  EXPECT_EQ(ChooseCoding("br", true, true, false), Coding::kIdentity);
  EXPECT_STREQ(CodingName(Coding::kBrotli), "br");
  EXPECT_STREQ(CodingName(Coding::kGzip), "gzip");
  EXPECT_STREQ(CodingName(Coding::kIdentity), "");
}

}  // namespace
}  // namespace common
