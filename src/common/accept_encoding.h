// The content coding to answer a request in, from its Accept-Encoding field
// (RFC 9110, section 12.5.3), among those the answer is ready in.
#pragma once
#include <string_view>

namespace common {

enum class Coding { kIdentity, kGzip, kBrotli };

// The field's name as the web server hands it to the program.
constexpr const char* kAcceptEncodingVariable = "HTTP_ACCEPT_ENCODING";

// The coding the field `accept` prefers among identity and the codings
// available: the highest weight wins ("q=0" refuses, "*" stands for every
// coding not named, "x-gzip" is gzip); at equal weights the smaller answer
// (br, then gzip, then identity); identity, when not named, comes last but
// stays acceptable unless refused. A field that is absent (`present`
// false), empty or refuses all gets identity, as does an element that is
// not well formed, which counts as not there.
Coding ChooseCoding(std::string_view accept, bool present, bool gzip_ready, bool brotli_ready);

// The coding's name in Content-Encoding; empty for identity.
const char* CodingName(Coding coding);

}  // namespace common
