// Path strings as the program writes them, Windows style: "\" and "/" both
// separate folders and a drive letter ends with ":". Only text is handled
// here; platform/files.h resolves paths on disk.
#pragma once
#include <string>

namespace common {

// Every "/" made "\", and each run of separators reduced to one "\".
std::string NormalizeSeparators(const std::string& path);

// The folder part of `path`, up to and with its last "\", "/" or ":"; empty
// when the path names no folder.
std::string ExtractFilePath(const std::string& path);

// What follows the folder part: the file name.
std::string ExtractFileName(const std::string& path);

}  // namespace common
