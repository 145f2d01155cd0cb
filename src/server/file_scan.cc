#include "server/file_scan.h"

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
  // A plain file name, as listings give them, needs no copy: its stem ends at
  // the last dot.
  std::size_t dot = std::string::npos;
  bool plain = true;
  for (std::size_t i = name.size(); i-- > 0;) {
    char c = name[i];
    if (c == '/' || c == '\\') {
      plain = false;
      break;
    }
    if (c == '.' && dot == std::string::npos) dot = i;
  }
  if (plain) {
    std::string_view stem(name);
    slot = catalogue::SlotOfCode(dot == std::string::npos ? stem : stem.substr(0, dot));
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
    // before the least such name in that order. Such a name is rare, so the
    // first pass counts every name and remembers the least stop; only when
    // there is one does a second pass count again, the stop now known.
    bool stops = false;
    std::string stop_key;
    auto count = [&](const platform::DirEntry& entry, bool before_stop_only) {
      char last = entry.name.back();
      if (last < '0' || last > '5') return;
      if (before_stop_only && !(platform::UpperAscii(entry.name) < stop_key)) return;
      FindFileSlot(entry.name, found, slot);
      if (found) table[last - '0'][slot] = true;
    };
    platform::VisitFiles(IDXPath + "*.IX*", [&](const platform::DirEntry& entry) {
      char last = entry.name.back();
      if (last < '0' || last > '9') {
        std::string key = platform::UpperAscii(entry.name);
        if (!stops || key < stop_key) stop_key = std::move(key);
        stops = true;
      } else if (!stops) {
        count(entry, false);
      }
      return true;
    });
    if (stops) {
      common::Trace("<b>WebUtls: EXCEPTION in FindFirst </b>");
      for (auto& digit : table) digit.fill(false);
      platform::VisitFiles(IDXPath + "*.IX*", [&](const platform::DirEntry& entry) {
        count(entry, true);
        return true;
      });
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
