#include "server/file_security.h"

#include "platform/access.h"

namespace server {

bool TFileSecurity::GrantCurrentUserWrite() const { return platform::GrantOwnerWrite(folder_); }

}  // namespace server
