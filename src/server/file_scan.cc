#include "server/file_scan.h"

#include <vector>

#include "catalogue/catalogue.h"
#include "common/page_text.h"
#include "common/paths.h"
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
  std::string clean = common::NormalizeSeparators(name);
  std::size_t dot = clean.find_last_of('.');
  return dot == std::string::npos ? clean : clean.substr(0, dot);
}

void FindFileSlot(const std::string& name, bool& found, int& slot) {
  bool plain = true;
  for (char c : name) plain = plain && c != '/' && c != '\\';
  if (plain) {
    // A plain file name, as listings give them: no copy needed.
    std::string_view stem(name);
    std::size_t dot = stem.find_last_of('.');
    slot = catalogue::SlotOfCode(dot == std::string_view::npos ? stem : stem.substr(0, dot));
  } else {
    slot = catalogue::SlotOfCode(StripFileExt(name));
  }
  found = slot > 0;
}

void CallCGIFindAvailFiles() {
  try {
    common::Trace({"entering CallCGIFindAvailFiles, TxtPath= ", TXTPath});
    bool found = false;
    int slot = -1;
    platform::VisitFiles(TXTPath + "*.TXT", [&](const platform::DirEntry& entry) {
      FindFileSlot(entry.name, found, slot);
      if (found) TxtOnWeb[slot] = true;
      return true;
    });

    std::array<std::array<bool, kScanSlots + 1>, 6> table{};
    common::Trace("before if FindFirst");
    // Listed in NTFS order, the pass ends at the first name that does not end
    // in a digit. Visited in any order, the same names count: those that come
    // before the least such name in that order.
    struct Found {
      std::string name;
      int slot;
      int digit;
    };
    std::vector<Found> index_files;
    bool stops = false;
    std::string stop_key;
    platform::VisitFiles(IDXPath + "*.IX*", [&](const platform::DirEntry& entry) {
      char last = entry.name.back();
      if (last < '0' || last > '9') {
        std::string key = platform::UpperAscii(entry.name);
        if (!stops || key < stop_key) stop_key = std::move(key);
        stops = true;
        return true;
      }
      FindFileSlot(entry.name, found, slot);
      if (found && last <= '5') index_files.push_back(Found{entry.name, slot, last - '0'});
      return true;
    });
    if (stops) common::Trace("<b>WebUtls: EXCEPTION in FindFirst </b>");
    for (const Found& f : index_files) {
      if (!stops || platform::UpperAscii(f.name) < stop_key) table[f.digit][f.slot] = true;
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
    common::Trace({"TotFilesOnWeb= ", common::Decimal(TotFilesOnWeb)});
    common::Trace("exiting CallCGIFindAvailFiles");
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
