// Numbers in text (decimal parsing and zero-padded digits) and finding line
// breaks. (Letter case folding is platform/names.h: UpperAscii, FindCaseless.)
#pragma once
#include <cstddef>
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

// The index of the first CR or LF in the `size` bytes at `text`, or `size`
// when there is none. Looks at eight bytes at a time.
std::size_t FindLineBreak(const char* text, std::size_t size);

}  // namespace common
