// The scan for the books present on the server: a book is usable when its
// text file is in TXTPath and all six of its index files are in IDXPath.
// The flag arrays are indexed by slot 1..371 (element 0 is unused).
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace server {

constexpr int kScanSlots = 371;

extern std::array<bool, kScanSlots + 1> TxtOnWeb;  // only ever set, never cleared
extern std::array<bool, kScanSlots + 1> IdxOnWeb;  // index files 0, 1, 2, 4 and 5 found
extern std::array<bool, kScanSlots + 1> Ix3OnWeb;  // index file 3 found
extern std::array<bool, kScanSlots + 1> CanUseFile;
extern std::int32_t TotFilesOnWeb;

// The name without its last extension, after "/" became "\" and doubled
// backslashes were reduced to one.
std::string StripFileExt(const std::string& name);

// The slot whose code equals the name without its extension, letter case
// ignored; `slot` is -1 when none does.
void FindFileSlot(const std::string& name, bool& found, int& slot);

// Scans TXTPath and IDXPath and sets the flags and TotFilesOnWeb.
void CallCGIFindAvailFiles();

// Back to the state at process start (tests).
void ResetScan();

}  // namespace server
