// Small file operations: whether a folder can be written to (the headers
// file's rebuild asks), the text of a system error (every report of a failed
// file operation, on the page and to the operator), and three more of the
// same utilities that nothing in this program calls: making a file's folder,
// deleting a file for certain and renaming with a readable error. Paths may
// use "/" or "\"; each operation first turns every "/" into "\" and reduces
// doubled backslashes to one.
#pragma once
#include <string>

namespace server {

// Creates the folder part of `file_path` with all missing parents.
void ForceFileFolder(const std::string& file_path);

// True when the folder exists (or was created) and a file can be created in
// it; on an empty path tells the operator and returns false.
bool CanWriteToDir(const std::string& folder);

// True when the file is gone afterwards; a read-only file is made writable
// first. `error_text` gets the reason when it could not be deleted.
bool DeleteFileSure(const std::string& path, std::string& error_text);

// True when `source` now bears the name `destination`; failures are told to
// the operator.
bool RenameFileSafe(const std::string& source, const std::string& destination);

// "Error code " + code + ": " + the system's text for it.
std::string IOErrorText(int code);

}  // namespace server
