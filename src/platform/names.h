// How the program compares and matches names: the rules of Windows file
// names, used for file names and, where letter case must not matter, for any
// ASCII text. Nothing here touches the file system.
//
// Letter case: only the ASCII letters a..z and A..Z are folded; every other
// byte (Windows-1256 letters included) compares as it is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// a..z to A..Z; every other byte unchanged.
constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string UpperAscii(std::string_view s);

// Where `part` first stands in `text`, letter case ignored; npos when nowhere.
std::size_t FindCaseless(std::string_view text, std::string_view part);

// Windows wildcard rules, letter case ignored: "*" any run, "?" one character,
// a trailing ".*" also matches names without that extension ("*.*" is all).
bool WildcardMatch(std::string_view pattern, std::string_view name);

// A wildcard pattern looked at once, for matching many names.
class WildcardPattern {
 public:
  explicit WildcardPattern(std::string_view pattern);
  bool Matches(std::string_view name) const;

 private:
  enum class Kind { kAll, kSuffix, kContains, kGeneral };
  std::string_view pattern_, part_;
  Kind kind_;
};

// `folder` and `name` joined with the separator the folder already uses
// ("\" when the folder holds one, else "/"); nothing added after a separator.
std::string JoinName(const std::string& folder, const std::string& name);

// Temporary files this program makes are named "~enPanel-" + kind + "-" +
// 16 upper-case hex digits + ".tmp", a form no operator's file has. `kind`
// is a few lower-case letters ("hdr", "temp", "lnk").
std::string TemporaryName(const std::string& kind, std::uint64_t unique);
// True only for a name of exactly that form, in that letter case.
bool IsTemporaryName(std::string_view name);

struct DirEntry {
  std::string name;
  std::uint32_t attributes = 0;
};

// Sorts entries as an NTFS folder lists them: by upper-case name, byte by byte.
void SortAsListed(std::vector<DirEntry>& entries);

}  // namespace platform
