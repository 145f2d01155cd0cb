// LineBreaksToHtml against a plain reference: the scan on a string that is
// edited in place, step by step as the rules say.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/page_text.h"

namespace {

std::string Reference(std::string s) {
  std::size_t p = 1;  // 1-based, as the rules count
  while (p <= s.size()) {
    bool mark = false;
    char c = s[p - 1];
    bool last = p == s.size();
    if (c == '\r' && (last || s[p] == '\n')) {
      s.erase(p - 1, 1);
      if (p > 1 && s[p - 2] == '\n') s.erase(p - 2, 1);
      mark = true;
    } else if (c == '\n' && (last || s[p] == '\r' || s[p] == '\n')) {
      s.erase(p - 1, 1);
      if (p > 1 && (s[p - 2] == '\r' || s[p - 2] == '\n')) s.erase(p - 2, 1);
      mark = true;
    }
    if (mark) {
      // "<Br>" begins at position p of the text as it now stands; past its
      // end, it goes at the end.
      s.insert(std::min(p - 1, s.size()), "<Br>");
      p += 7;
    } else {
      ++p;
    }
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  std::string in(reinterpret_cast<const char*>(data), size);
  if (common::LineBreaksToHtml(in) != Reference(in)) std::abort();
  return 0;
}
