// The options page as it must come out, assembled from the fixed lines kept
// in tests/fixtures and the rules for the computed pieces, for tests to
// compare whole pages and parts of them byte for byte.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace testkit {

struct Book {
  std::string name;  // as displayed (already cleaned)
  std::string author;
};

// The present books by slot.
using Library = std::map<int, Book>;

struct AreaInfo {
  const char* id;
  int first, last;
};
extern const AreaInfo kAreaTable[9];

// A fixture file's lines (LF-separated in the file).
std::vector<std::string> FixtureLines(const std::string& name);
// The lines run together, as the page has them.
std::string FixtureJoined(const std::string& name);

std::string ExpectedHead();                             // "<HTML>" ... title
std::string ExpectedKeyboardBlock();                    // the English keyboard block
std::string ExpectedScriptBlock(const Library& books);  // script and form top
std::string ExpectedAreaFunctions(const Library& books);
std::string ExpectedGrid(const Library& books, const std::string& home_page);
// The whole page for a site where every listed book is present and the
// headers file holds their names.
std::string ExpectedPage(const Library& books, const std::string& home_page);
// The four header lines and the blank line for a page of `length` bytes.
std::string ExpectedHeaders(std::size_t length);

}  // namespace testkit
