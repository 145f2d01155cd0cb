#include "server/file_scan.h"

#include <optional>

#include "common/page_text.h"
#include "common/paths.h"
#include "platform/files.h"
#include "platform/names.h"
#include "server/site_paths.h"

namespace server {

SlotFlags TxtOnWeb{};
SlotFlags IdxOnWeb{};
SlotFlags Ix3OnWeb{};
SlotFlags CanUseFile{};
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

bool EndsIndexPass(std::string_view name) {
  return name.empty() || name.back() < '0' || name.back() > '9';
}

int IndexFileNumber(std::string_view name) {
  if (name.empty() || name.back() < '0' || name.back() > '5') return -1;
  return name.back() - '0';
}

namespace {

// Which of its six index files each slot has.
using IndexFiles = std::array<SlotFlags, 6>;

void ScanTextFolder() {
  bool found = false;
  int slot = -1;
  platform::VisitFiles(TXTPath + "*.TXT", [&](const platform::DirEntry& entry) {
    FindFileSlot(entry.name, found, slot);
    if (found) TxtOnWeb[slot] = true;
    return true;
  });
}

void Record(IndexFiles& files, const std::string& name) {
  int number = IndexFileNumber(name);
  if (number < 0) return;
  bool found = false;
  int slot = -1;
  FindFileSlot(name, found, slot);
  if (found) files[number][slot] = true;
}

// Records every index file name; returns the least name (in NTFS listing
// order: upper case, byte by byte) that ends the pass, when there is one.
std::optional<std::string> RecordAllIndexFiles(IndexFiles& files) {
  std::optional<std::string> least_stop;
  platform::VisitFiles(IDXPath + "*.IX*", [&](const platform::DirEntry& entry) {
    if (EndsIndexPass(entry.name)) {
      std::string key = platform::UpperAscii(entry.name);
      if (!least_stop || key < *least_stop) least_stop = std::move(key);
    } else if (!least_stop) {
      Record(files, entry.name);
    }
    return true;
  });
  return least_stop;
}

// Records the index file names that an NTFS listing gives before `stop`.
void RecordIndexFilesBefore(IndexFiles& files, const std::string& stop) {
  platform::VisitFiles(IDXPath + "*.IX*", [&](const platform::DirEntry& entry) {
    if (platform::UpperAscii(entry.name) < stop) Record(files, entry.name);
    return true;
  });
}

// The index pass as an NTFS listing gives it, whatever order this system
// lists the folder in: it ends at the first name that does not end in a
// digit, so only names before the least such name count. Such a name is
// rare, so one pass records every name and finds the least stop; only when
// there is one does a second pass record again, the stop now known.
IndexFiles ScanIndexFolder() {
  IndexFiles files{};
  common::Trace("before if FindFirst");
  if (std::optional<std::string> stop = RecordAllIndexFiles(files)) {
    common::Trace("<b>WebUtls: EXCEPTION in FindFirst </b>");
    files = IndexFiles{};
    RecordIndexFilesBefore(files, *stop);
  }
  return files;
}

void SetUsableSlots(const IndexFiles& files) {
  TotFilesOnWeb = 0;
  for (int s = 1; s <= catalogue::WebFiles; ++s) {
    IdxOnWeb[s] = files[0][s] && files[1][s] && files[2][s] && files[4][s] && files[5][s];
    Ix3OnWeb[s] = files[3][s];
    CanUseFile[s] = false;
    if (TxtOnWeb[s] && IdxOnWeb[s] && Ix3OnWeb[s]) {
      ++TotFilesOnWeb;
      CanUseFile[s] = true;
    }
  }
}

}  // namespace

void CallCGIFindAvailFiles() noexcept {
  try {
    common::Trace({"entering CallCGIFindAvailFiles, TxtPath= ", TXTPath});
    ScanTextFolder();
    SetUsableSlots(ScanIndexFolder());
    common::Trace({"TotFilesOnWeb= ", common::Decimal(TotFilesOnWeb)});
    common::Trace("exiting CallCGIFindAvailFiles");
  } catch (...) {
    // Out of memory in the middle of a listing: the scan ends there, and the
    // flags and count set so far stay as they are.
    platform::CountFailure();
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
