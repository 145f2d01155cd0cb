// The book file catalogue: 742 slots, each with a file code (empty: no book),
// the character-folding table the search side uses for it, and a claim mark.
// Slot i is stored at position i - 1. The first 371 slots form the library.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace catalogue {

constexpr int MaxFiles = 742;
constexpr int WebFiles = 371;  // the library: slots 1..371

extern std::array<std::string, MaxFiles> FileCode;
extern std::array<std::uint8_t, MaxFiles> TextMapKind;
extern std::array<bool, MaxFiles> Published;
extern bool CatalogueBuilt;

// Fills the catalogue from the built-in table. Safe to call again: a second
// build gives the same codes and claims nothing anew.
void BuildCatalogue();

// Claims slot `index` (1..742) during the first build; a slot claimed twice
// is reported to the operator.
void PublishFile(int index);

// The code of slot `index` (1..742).
const std::string& CodeOf(int index);

// The slot 1..371 whose code equals `stem` without regard to letter case
// (first slot wins), or -1. Slots without a code never match.
int SlotOfCode(std::string_view stem);

// The slot 1..371 whose code equals `stem` exactly, or -1.
int SlotOfExactCode(std::string_view stem);

// Back to the state at process start (tests).
void ResetCatalogue();

}  // namespace catalogue
