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
  unsigned group_id = 0;         // POSIX: its own group
  std::string group_name;        // POSIX: that group's name
  std::vector<unsigned> groups;  // POSIX: every group the account is in
  std::string sid;               // Windows: its security identifier, as bytes
};

// False when the system knows no such account.
bool LookUpAccount(const std::string& name, Account& account);

enum Access : unsigned { kRead = 4, kWrite = 2, kSearch = 1 };

// Whether `account` may have `access` (a sum of Access bits) to `path`, as
// the system answers the account itself (POSIX: access(2) in a helper
// process that has taken on the account, so that every folder on the way,
// access-control lists and read-only mounts count; only root or the
// account itself can ask, for anyone else the answer is false, errno
// EPERM). On false, errno holds the system's reason. Windows: for the
// process's own account, AccessCheck with its own token (every group and
// privilege counts); for another account, the rights the access-control
// list gives it and the groups Windows knows it in
// (GetEffectiveRightsFromAcl); a read-only file is never written; a folder
// the process's own account may write is one where a file of its own
// (~enPanel-check-....tmp) can really be made and removed. Search is
// always granted there (every account may pass through folders).
bool AccountMay(const Account& account, const std::string& path, unsigned access);

// Whether this process can ask the system as `account` (POSIX: it is root
// or the account itself; Windows: true).
bool CanAskAs(const Account& account);

// Whether the folder `path` has the sticky bit (POSIX; false on Windows).
bool HasStickyBit(const std::string& path);

// Whether `account` may replace or remove the entry `path` in its folder: it
// may write the folder, and where the folder has the sticky bit it owns the
// entry or the folder.
bool AccountMayReplace(const Account& account, const std::string& path);

// The name of the account that owns `path`; empty when it cannot be told.
std::string OwnerOf(const std::string& path);

// Mends the site check may carry out as root (POSIX; false elsewhere and on
// failure): `path` given to the account and its own group; `path` given to
// the account's group, with `mode`; `mode` added to the rights of `path`.
// These and GrantToAccount never act through a name the account could
// have put there: a link is followed only where it stands in a folder the
// account cannot write, and the file itself is never a link, nor a file
// with a second name (false then, and nothing changes).
bool GiveToAccount(const Account& account, const std::string& path);
bool GiveToAccountsGroup(const Account& account, const std::string& path, unsigned mode);
bool AddRights(const Account& account, const std::string& path, unsigned mode);

// Whether `path` belongs to an account other than root and `account`: a
// folder of the operator's own (as a site brought from another server
// has), which a mend should not take over. Windows: false.
bool OwnedByAnotherAccount(const Account& account, const std::string& path);

// Grants `account` the `access` (a sum of Access bits) to `path` as an entry
// of its access-control list, as `setfacl -m u:ACCOUNT:rwx` does: the other
// entries stay, the mask widens to let the entry through (POSIX; false
// elsewhere and on failure).
bool GrantToAccount(const Account& account, const std::string& path, unsigned access);

}  // namespace platform
