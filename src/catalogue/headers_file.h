// The reference headers file beside the program, "Hdrs1020.TXT": the version
// stamp, then for every book text file found its index, code, book name and
// author. It is rebuilt from the book text files when missing or older than
// the newest of them, then read into BookHeaders and checked against the
// catalogue. Every report is appended to the page.
#pragma once
#include <array>
#include <string>

#include "catalogue/catalogue.h"
#include "platform/files.h"

namespace catalogue {

extern const char* const VersionMajor;  // "10"
extern const char* const VersionMinor;  // "20"

// "1020": major and minor, the headers file's first line and part of its name.
std::string VersionStamp();
// "Hdrs1020.TXT", and its backup "Hdrs1020.bak", in the program's folder.
std::string HeadersFileName();
std::string HeadersBackupName();

struct TBookHeader {
  std::string Code;  // upper case
  std::string BookName;
  std::string AuthorName;
};

// Indexed by file index 1..371 (element 0 unused).
extern std::array<TBookHeader, WebFiles + 1> BookHeaders;

// True when the file name without its extension equals a code exactly.
bool IsCatalogueFile(const std::string& name);

// Makes sure the headers file in the folder of `path` is there and up to
// date, then reads it. True when the headers are usable without fault;
// `verbose` adds the detailed warnings of the reading step.
bool CallGetHeaders(bool verbose, const std::string& path);

// The two steps of CallGetHeaders that change nothing on disk, for the site
// check. Stale: the file is older than the newest book text file in TXTPath.
bool HeadersFileIsStale(const std::string& headers_file);
// Reads the file into BookHeaders, checking each record against the
// catalogue; reports go to the page text. Throws InOutError when the file
// cannot be read.
bool ReadHeadersFile(bool verbose, const std::string& headers_file);

// Tests move the clock the clean-up of abandoned temporary files reads;
// nullptr is the system clock.
void SetFileClockForTests(platform::FileTime (*now)());

// Back to the state at process start (tests).
void ResetBookHeaders();

}  // namespace catalogue
