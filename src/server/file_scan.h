// The scan for the books present on the server: a book is usable when its
// text file is in TXTPath and all six of its index files are in IDXPath.
// The flag arrays are indexed by slot 1..371 (element 0 is unused).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"

namespace server {

using SlotFlags = std::array<bool, catalogue::WebFiles + 1>;

extern SlotFlags TxtOnWeb;  // only ever set, never cleared
extern SlotFlags IdxOnWeb;  // index files 0, 1, 2, 4 and 5 found
extern SlotFlags Ix3OnWeb;  // index file 3 found
extern SlotFlags CanUseFile;
extern std::int32_t TotFilesOnWeb;

// The name without its last extension, after "/" became "\" and doubled
// backslashes were reduced to one.
std::string StripFileExt(const std::string& name);

// The slot whose code equals the name without its extension, letter case
// ignored; `slot` is -1 when none does.
void FindFileSlot(const std::string& name, bool& found, int& slot);

// Index file names, as the index pass reads them (IDXPath + "*.IX*"): one
// whose last character is no digit ends the pass, in the order an NTFS
// folder lists names; digits 0 to 5 name the six index files of a book, 6 to
// 9 are passed over.
bool EndsIndexPass(std::string_view name);
// 0 to 5 for a name that ends in one of those digits, otherwise -1.
int IndexFileNumber(std::string_view name);

// Scans TXTPath and IDXPath and sets the flags and TotFilesOnWeb. Never
// throws: a failure ends the scan where it happened, and what was set so
// far stays set.
void CallCGIFindAvailFiles() noexcept;

// Back to the state at process start.
void ResetScan();

}  // namespace server
