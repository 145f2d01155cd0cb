// The running program's own full file name, from which the site folders follow.
#pragma once
#include <string>

namespace platform {

// Linux: the real path of the running executable (as /proc/self/exe gives it),
// written relative to the drive root when one is set (see files.h).
// Windows: the module file name. Empty when the system does not tell.
std::string ProgramFileName();

}  // namespace platform
