// The wildcard matcher against a plain recursive reference of the same rules.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// memo[i][j]: 0 unknown, 1 no, 2 yes.
bool Plain(const std::string& p, std::size_t i, const std::string& n, std::size_t j,
           std::vector<std::vector<char>>& memo) {
  char& known = memo[i][j];
  if (known != 0) return known == 2;
  bool result;
  if (i == p.size()) {
    result = j == n.size();
  } else if (p[i] == '*') {
    result = Plain(p, i + 1, n, j, memo) || (j < n.size() && Plain(p, i, n, j + 1, memo));
  } else {
    result =
        j < n.size() && (p[i] == '?' || Up(p[i]) == Up(n[j])) && Plain(p, i + 1, n, j + 1, memo);
  }
  known = result ? 2 : 1;
  return result;
}

bool Plain(const std::string& p, const std::string& n) {
  std::vector<std::vector<char>> memo(p.size() + 1, std::vector<char>(n.size() + 1, 0));
  return Plain(p, 0, n, 0, memo);
}

bool Reference(const std::string& p, const std::string& n) {
  if (p == "*" || p == "*.*") return true;
  if (Plain(p, n)) return true;
  return p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 &&
         Plain(p.substr(0, p.size() - 2), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 512) return 0;
  std::string all(reinterpret_cast<const char*>(data), size);
  std::size_t cut = all.find('|');
  if (cut == std::string::npos) cut = all.size() / 2;
  std::string pattern = all.substr(0, cut);
  std::string name = cut < all.size() ? all.substr(cut + 1) : std::string();
  if (platform::WildcardMatch(pattern, name) != Reference(pattern, name)) std::abort();
  return 0;
}
