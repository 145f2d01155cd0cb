// CleanBookName on any bytes: it returns the name itself or a shorter start
// of it, never anything else.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/book_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  std::string clean = catalogue::CleanBookName(name);
  if (clean != name && (clean.size() >= name.size() || name.compare(0, clean.size(), clean) != 0)) {
    std::abort();
  }
  return 0;
}
