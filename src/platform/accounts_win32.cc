#include "platform/accounts.h"

namespace platform {

// Windows rights are access-control lists, which this check does not read.
bool LookUpAccount(const std::string& name, Account& account) {
  account.name = name;
  return true;
}

bool AccountMay(const Account& /*account*/, const std::string& /*path*/, unsigned /*access*/) {
  return true;
}

bool CanAskAs(const Account& /*account*/) { return true; }

bool HasStickyBit(const std::string& /*path*/) { return false; }

bool AccountMayReplace(const Account& /*account*/, const std::string& /*path*/) { return true; }

std::string OwnerOf(const std::string& /*path*/) { return std::string(); }

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
