// The site check: what an operator wants to know about a site before (or
// after) visitors come, from the program's own code for the catalogue, the
// site folders, the scan of present books and the headers file reader. Each
// problem says what visitors or the statistics suffer from it, as the site
// stands now, and the one command that mends it. It changes nothing on disk,
// unless asked to carry out the mends of ownership and rights itself.
#pragma once
#include <string>
#include <vector>

#include "platform/accounts.h"

namespace check {

// A mend the check can carry out itself: a path given to the account (and
// its own group), a folder given to the account's group with the rights of
// the safe layout, or rights added to a path.
struct Repair {
  enum class Kind { kGiveToAccount, kGiveToGroup, kAddRights, kGrantToAccount };
  Kind kind;
  std::string path;
  unsigned mode = 0;
};

struct Finding {
  bool problem = false;  // false: information
  std::string text;      // what is so, and what it does to visitors or the statistics
  std::string mend;      // the command (or step) that mends it; empty when nothing needs doing
  std::vector<Repair> repairs;  // what --fix does for that mend
};

struct SiteReport {
  std::vector<Finding> findings;
  int problems() const;
};

// How long a listing of Statistics/ may take before the check names the
// years that could be moved out of it.
constexpr double kStatisticsListingMs = 2.0;

// Checks the site in `site_folder` (the folder of the program file). With
// `account`, also whether it may write the site folder and Statistics/,
// replace the headers file and read the book files.
SiteReport CheckSite(const std::string& site_folder, const platform::Account* account,
                     double statistics_listing_ms = kStatisticsListingMs);

// The report as the command prints it: one line per finding, problems
// marked, each mend on a line of its own after it, and a last line with the
// count.
std::string FormatReport(const std::string& site_folder, const SiteReport& report);

// Carries out the repairs of every finding, each said on `log` first; false
// when one of them failed.
bool CarryOutRepairs(const platform::Account& account, const SiteReport& report, std::string& log);

}  // namespace check
