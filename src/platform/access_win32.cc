#include <windows.h>
// windows.h first: the ACL headers depend on it.
#include <aclapi.h>

#include <vector>

#include "platform/access.h"
#include "platform/files.h"

namespace platform {

bool GrantOwnerWrite(const std::string& folder) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    SetLastErrorCode(static_cast<int>(GetLastError()));
    return false;
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> user(size);
  bool ok = GetTokenInformation(token, TokenUser, user.data(), size, &size) != 0;
  CloseHandle(token);
  if (!ok) {
    SetLastErrorCode(static_cast<int>(GetLastError()));
    return false;
  }
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;

  std::string native = NativePath(folder);
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD rc = GetNamedSecurityInfoA(native.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, &old_dacl, nullptr, &descriptor);
  if (rc != ERROR_SUCCESS) {
    SetLastErrorCode(static_cast<int>(rc));
    return false;
  }
  EXPLICIT_ACCESSA access{};
  access.grfAccessPermissions =
      FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_USER;
  access.Trustee.ptstrName = static_cast<LPSTR>(sid);
  PACL new_dacl = nullptr;
  rc = SetEntriesInAclA(1, &access, old_dacl, &new_dacl);
  if (rc == ERROR_SUCCESS) {
    rc = SetNamedSecurityInfoA(native.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, new_dacl, nullptr);
  }
  if (new_dacl != nullptr) LocalFree(new_dacl);
  LocalFree(descriptor);
  if (rc != ERROR_SUCCESS) {
    SetLastErrorCode(static_cast<int>(rc));
    return false;
  }
  return true;
}

}  // namespace platform
