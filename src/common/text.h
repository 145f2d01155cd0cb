// Numbers in text: decimal parsing and zero-padded digits. (Letter case
// folding is platform/names.h: UpperAscii, FindCaseless.)
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// A decimal 32-bit integer: optional leading blanks, an optional sign, digits
// and nothing after them. Empty when the text is no such number.
std::optional<std::int32_t> ParseInt32(std::string_view s);

// Decimal digits of `value`, at least `width` of them (leading zeros).
std::string Padded(int value, int width);

}  // namespace common
