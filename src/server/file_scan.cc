#include "server/file_scan.h"

#include <vector>

#include "catalogue/catalogue.h"
#include "frame/page_text.h"
#include "platform/files.h"
#include "server/file_utils.h"
#include "server/site_paths.h"

namespace server {

std::array<bool, kScanSlots + 1> TxtOnWeb{};
std::array<bool, kScanSlots + 1> IdxOnWeb{};
std::array<bool, kScanSlots + 1> Ix3OnWeb{};
std::array<bool, kScanSlots + 1> CanUseFile{};
std::int32_t TotFilesOnWeb = 0;

std::string StripFileExt(const std::string& name) {
  std::string clean = NormalizeSeparators(name);
  std::size_t dot = clean.find_last_of('.');
  return dot == std::string::npos ? clean : clean.substr(0, dot);
}

void FindFileSlot(const std::string& name, bool& found, int& slot) {
  slot = catalogue::SlotOfCode(StripFileExt(name));
  found = slot > 0;
}

void CallCGIFindAvailFiles() {
  try {
    frame::Trace("entering CallCGIFindAvailFiles, TxtPath= " + TXTPath);
    bool found = false;
    int slot = -1;
    for (const auto& entry : platform::FindFiles(TXTPath + "*.TXT")) {
      FindFileSlot(entry.name, found, slot);
      if (found) TxtOnWeb[slot] = true;
    }

    std::array<std::array<bool, kScanSlots + 1>, 6> table{};
    frame::Trace("before if FindFirst");
    for (const auto& entry : platform::FindFiles(IDXPath + "*.IX*")) {
      char last = entry.name.back();
      if (last < '0' || last > '9') {
        // A name that does not end in a digit ends the index pass here.
        frame::Trace("<b>WebUtls: EXCEPTION in FindFirst </b>");
        break;
      }
      int digit = last - '0';
      FindFileSlot(entry.name, found, slot);
      if (found && digit <= 5) table[digit][slot] = true;
    }

    TotFilesOnWeb = 0;
    for (int s = 1; s <= kScanSlots; ++s) {
      IdxOnWeb[s] = table[0][s] && table[1][s] && table[2][s] && table[4][s] && table[5][s];
      Ix3OnWeb[s] = table[3][s];
      CanUseFile[s] = false;
      if (TxtOnWeb[s] && IdxOnWeb[s] && Ix3OnWeb[s]) {
        ++TotFilesOnWeb;
        CanUseFile[s] = true;
      }
    }
    frame::Trace("TotFilesOnWeb= " + std::to_string(TotFilesOnWeb));
    frame::Trace("exiting CallCGIFindAvailFiles");
  } catch (...) {
    // Whatever was set so far stays set.
  }
}

void ResetScan() {
  TxtOnWeb.fill(false);
  IdxOnWeb.fill(false);
  Ix3OnWeb.fill(false);
  CanUseFile.fill(false);
  TotFilesOnWeb = 0;
}

}  // namespace server
