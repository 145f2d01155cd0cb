#include "common/text.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(FindLineBreak, EveryPlaceAroundTheEightByteSteps) {
  // Windows-1256 letters (high bytes, two of them CR or LF plus 0x80) and the
  // other control bytes next to CR and LF are no line breaks.
  const std::string letters = "\xC7\xE1\x8D\x8A\xCA\xC8\x0B\x0C\xE4";
  for (std::size_t length = 0; length <= 20; ++length) {
    std::string text(length, 'a');
    for (std::size_t i = 0; i < length; ++i) text[i] = letters[i % letters.size()];
    for (std::size_t at = 0; at < length; ++at) {
      for (char brk : {'\r', '\n'}) {
        std::string with = text;
        for (std::size_t i = 0; i < length; ++i) {
          if (with[i] == '\r' || with[i] == '\n') with[i] = 'a';
        }
        with[at] = brk;
        if (at + 1 < length) with[length - 1] = '\n';  // a later break is not the first
        EXPECT_EQ(FindLineBreak(with.data(), length), at) << length << " " << at;
      }
    }
    std::string none = text;
    for (char& c : none) {
      if (c == '\r' || c == '\n') c = 'a';
    }
    EXPECT_EQ(FindLineBreak(none.data(), length), length) << length;
  }
}

}  // namespace
}  // namespace common
