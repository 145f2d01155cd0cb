// The reading of Accept-Encoding: any bytes give one of the codings that
// are ready, a coding only where the field names it or the star, and the
// same choice whatever else is ready when the chosen one stays ready.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/accept_encoding.h"

namespace {

bool Names(std::string_view field, std::string_view name) {
  std::string lower(field);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower.find(name) != std::string::npos || lower.find('*') != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using common::Coding;
  std::string_view field(reinterpret_cast<const char*>(data), size);
  for (int ready = 0; ready < 4; ++ready) {
    bool gzip = (ready & 1) != 0, brotli = (ready & 2) != 0;
    Coding c = common::ChooseCoding(field, true, gzip, brotli);
    if (c == Coding::kGzip && (!gzip || !Names(field, "gzip"))) std::abort();
    if (c == Coding::kBrotli && (!brotli || !Names(field, "br"))) std::abort();
    // With every form ready the same field prefers the same coding, when
    // the one chosen here is among them.
    if (c != Coding::kIdentity && common::ChooseCoding(field, true, true, true) != c) {
      // Another form, ready now, may weigh more: only a coding of lower
      // weight may give way, never one to identity.
      if (common::ChooseCoding(field, true, true, true) == Coding::kIdentity) std::abort();
    }
  }
  if (common::ChooseCoding(field, false, true, true) != Coding::kIdentity) std::abort();
  return 0;
}
