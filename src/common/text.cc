#include "common/text.h"

#include <cstring>

namespace common {

std::optional<std::int32_t> ParseInt32(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + (s[i] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return digits;
}

std::size_t FindLineBreak(const char* text, std::size_t size) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + i, 8);
    std::uint64_t cr = word ^ (kOnes * '\r'), lf = word ^ (kOnes * '\n');
    // A zero byte in `cr` or `lf` marks a CR or an LF; the exact place is
    // found byte by byte below.
    if ((((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) break;
  }
  for (; i < size; ++i) {
    if (text[i] == '\r' || text[i] == '\n') return i;
  }
  return size;
}

}  // namespace common
