// Accounts and their rights on Windows: an account is its security
// identifier; what it may do with a file is what Windows answers from the
// file's security descriptor (see accounts.h). The mends of the POSIX
// check (owners, modes) have no part here.
#include <aclapi.h>
#include <windows.h>

#include "platform/accounts.h"
#include "platform/files.h"

namespace platform {
namespace {

// The file's security descriptor (owner, group, access-control list);
// nullptr when Windows does not give it. LocalFree frees it.
PSECURITY_DESCRIPTOR DescriptorOf(const std::string& native, PACL* dacl, PSID* owner) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = GetNamedSecurityInfoA(
      native.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owner,
      nullptr, dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  return descriptor;
}

// Whether `sid` is the account this process runs as.
bool IsOwnAccount(const std::string& sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  bool own =
      GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
      EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, const_cast<char*>(sid.data())) != 0;
  CloseHandle(token);
  return own;
}

// The rights `wanted` asked of Windows for `sid` on what `descriptor`
// guards: AccessCheck with this process's own token where it is the
// account, else the rights its access-control list gives the account.
bool Granted(const std::string& sid, PSECURITY_DESCRIPTOR descriptor, PACL dacl,
             ACCESS_MASK wanted) {
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  if (IsOwnAccount(sid)) {
    HANDLE token = nullptr, impersonation = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return false;
    bool duplicated = DuplicateToken(token, SecurityImpersonation, &impersonation) != 0;
    CloseHandle(token);
    if (!duplicated) return false;
    PRIVILEGE_SET privileges{};
    DWORD privileges_size = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    BOOL asked = AccessCheck(descriptor, impersonation, wanted, &mapping, &privileges,
                             &privileges_size, &granted, &status);
    CloseHandle(impersonation);
    return asked && status;
  }
  if (dacl == nullptr) return true;  // no list: everyone may
  TRUSTEE_A trustee;
  BuildTrusteeWithSidA(&trustee, const_cast<char*>(sid.data()));
  ACCESS_MASK rights = 0;
  DWORD error = GetEffectiveRightsFromAclA(dacl, &trustee, &rights);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  MapGenericMask(&rights, &mapping);
  if ((rights & wanted) == wanted) return true;
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

}  // namespace

bool LookUpAccount(const std::string& name, Account& account) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof sid;
  char domain[256];
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, name.c_str(), sid, &sid_size, domain, &domain_size, &use)) {
    return false;
  }
  account.name = name;
  account.sid.assign(reinterpret_cast<const char*>(sid), GetLengthSid(sid));
  return true;
}

bool AccountMay(const Account& account, const std::string& path, unsigned access) {
  const std::string native = NativePath(path);
  DWORD attributes = GetFileAttributesA(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((access & kWrite) != 0 && !folder && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  ACCESS_MASK wanted = 0;
  if ((access & kRead) != 0) wanted |= folder ? FILE_LIST_DIRECTORY : FILE_READ_DATA;
  if ((access & kWrite) != 0) wanted |= folder ? FILE_ADD_FILE : FILE_WRITE_DATA;
  if (wanted == 0) return true;  // search alone: every account may pass through
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = DescriptorOf(native, &dacl, nullptr);
  if (descriptor == nullptr) return false;
  bool may = Granted(account.sid, descriptor, dacl, wanted);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  // The account this process runs as writes a folder only if a file can
  // really be made and removed there: a read-only volume, or a share that
  // refuses what its list allows, says no only then.
  if (may && folder && (access & kWrite) != 0 && IsOwnAccount(account.sid)) {
    std::string probe;
    if (!CreateUniqueFile(path, "check", probe)) {
      SetLastError(static_cast<DWORD>(LastErrorCode()));
      return false;
    }
    if (!RemoveFile(probe)) {
      SetLastError(static_cast<DWORD>(LastErrorCode()));
      return false;
    }
  }
  return may;
}

bool CanAskAs(const Account& /*account*/) { return true; }

bool HasStickyBit(const std::string& /*path*/) { return false; }

bool AccountMayReplace(const Account& account, const std::string& path) {
  // A file is replaced by a rename over it: the folder takes a new file,
  // and the old one may be removed (its own right, or the folder's).
  std::size_t cut = path.find_last_of("/\\");
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut);
  if (!AccountMay(account, folder, kWrite)) return false;
  for (const auto& [where, right] :
       {std::pair<std::string, ACCESS_MASK>{NativePath(path), DELETE},
        std::pair<std::string, ACCESS_MASK>{NativePath(folder), FILE_DELETE_CHILD}}) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = DescriptorOf(where, &dacl, nullptr);
    if (descriptor == nullptr) continue;
    bool may = Granted(account.sid, descriptor, dacl, right);
    LocalFree(descriptor);
    if (may) return true;
  }
  return false;
}

std::string OwnerOf(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = DescriptorOf(NativePath(path), nullptr, &owner);
  if (descriptor == nullptr) return std::string();
  char name[256], domain[256];
  DWORD name_size = sizeof name, domain_size = sizeof domain;
  SID_NAME_USE use;
  std::string found;
  if (owner != nullptr &&
      LookupAccountSidA(nullptr, owner, name, &name_size, domain, &domain_size, &use)) {
    found = domain_size > 0 ? std::string(domain) + "\\" + name : std::string(name);
  }
  LocalFree(descriptor);
  return found;
}

bool GiveToAccount(const Account& /*account*/, const std::string& /*path*/) { return false; }

bool GiveToAccountsGroup(const Account& /*account*/, const std::string& /*path*/,
                         unsigned /*mode*/) {
  return false;
}

bool AddRights(const Account& /*account*/, const std::string& /*path*/, unsigned /*mode*/) {
  return false;
}

bool OwnedByAnotherAccount(const Account& /*account*/, const std::string& /*path*/) {
  return false;
}

bool GrantToAccount(const Account& /*account*/, const std::string& /*path*/, unsigned /*access*/) {
  return false;
}

}  // namespace platform
