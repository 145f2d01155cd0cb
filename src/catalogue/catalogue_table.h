// The built-in table of book file codes.
#pragma once

#include "catalogue/catalogue.h"

namespace catalogue {

// kBuiltInCodes[i - 1] is the code of slot i (1..WebFiles) as written in the table.
extern const char* const kBuiltInCodes[WebFiles];

}  // namespace catalogue
