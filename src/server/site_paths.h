// Site folders, worked out anew by every process from the program's own file
// name, and the search for present books with its fallback to the fixed
// default folders.
#pragma once
#include <string>
#include <vector>

namespace server {

extern std::string _WebPath;    // the program's folder, with its separator
extern std::string StatPath;    // _WebPath + "Statistics\"
extern std::string ZafkarPath;  // _WebPath + "Zafkar\"
extern std::string TXTPath;     // _WebPath + "fulltxt/", or the fallback
extern std::string IDXPath;     // _WebPath + "fullindexes/", or the fallback

extern const char* const kFallbackTxtPath;  // "/Kbx32-d4/txt/"
extern const char* const kFallbackIdxPath;  // "/Kbx32-d4/indexes/"

// Drops whatever stands before a drive letter: "\\?\C:\web\" gives "C:\web\".
std::string fnCorrectPath(const std::string& path);

// The folders from `program_file`, and nothing made on disk.
void SetSitePaths(const std::string& program_file);

// Start-up: the folders from `program_file` and the statistics folder
// (created when missing; a failure is told to the operator). The subject
// areas are built next, by the caller.
void InitSitePaths(const std::string& program_file);

// Scans the book folders, and the fixed default folders when the first scan
// finds nothing. `diagnostic` tells what was tried when only the fallback
// found books; it is empty otherwise.
void CGIFindAvailFiles(std::string& diagnostic);

}  // namespace server
