#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/access.h"
#include "platform/files.h"

namespace platform {

bool GrantOwnerWrite(const std::string& folder) {
  std::string native = NativePath(folder);
  struct stat st {};
  if (stat(native.c_str(), &st) != 0) {
    SetLastErrorCode(errno);
    return false;
  }
  if (st.st_uid != geteuid()) {
    SetLastErrorCode(EPERM);
    return false;
  }
  mode_t mode = (st.st_mode & 07777) | S_IWUSR | S_IXUSR;
  if (chmod(native.c_str(), mode) != 0) {
    SetLastErrorCode(errno);
    return false;
  }
  return true;
}

}  // namespace platform
