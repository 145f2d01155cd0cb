// Accounts and what they may do with a file or folder, for the site check:
// the web server runs the program under an account of its own, and the
// operator wants to know before the first visit whether that account may
// write where the program writes and read what it reads.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct Account {
  std::string name;
  unsigned id = 0;               // POSIX: the user id
  std::vector<unsigned> groups;  // POSIX: every group the account is in
};

// False when the system knows no such account.
bool LookUpAccount(const std::string& name, Account& account);

enum Access : unsigned { kRead = 4, kWrite = 2, kSearch = 1 };

// Whether `account` may have `access` (a sum of Access bits) to `path`, from
// the file's owner, group and permission bits (POSIX; access-control lists
// are not looked at). Windows: true (the check cannot tell there).
bool AccountMay(const Account& account, const std::string& path, unsigned access);

// Whether `account` may replace or remove the entry `path` in its folder: it
// may write the folder, and where the folder has the sticky bit it owns the
// entry or the folder.
bool AccountMayReplace(const Account& account, const std::string& path);

}  // namespace platform
