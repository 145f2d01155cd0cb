// Folder access rights: widening them so that this process can write there.
#pragma once
#include <string>

namespace platform {

// Grants the process's own account write access to `folder`, never anyone
// else. POSIX: when the process owns the folder, adds the owner's write and
// search bits. Windows: adds an allow-modify entry for the current user.
bool GrantOwnerWrite(const std::string& folder);

}  // namespace platform
