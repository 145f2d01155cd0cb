// The built-in table of book file codes.
#pragma once

namespace catalogue {

constexpr int kWebFiles = 371;  // slots 1..371 form the book collection

// kBuiltInCodes[i - 1] is the code of slot i as written in the table.
extern const char* const kBuiltInCodes[kWebFiles];

}  // namespace catalogue
