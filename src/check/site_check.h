// The site check: what an operator wants to know about a site before (or
// after) visitors come, from the program's own code for the catalogue, the
// site folders, the scan of present books and the headers file reader. It
// changes nothing on disk.
#pragma once
#include <string>
#include <vector>

#include "platform/accounts.h"

namespace check {

struct Finding {
  bool problem = false;  // false: information
  std::string text;
};

struct SiteReport {
  std::vector<Finding> findings;
  int problems() const;
};

// Checks the site in `site_folder` (the folder of the program file). With
// `account`, also whether it may write the site folder and Statistics/,
// replace the headers file and read the book files.
SiteReport CheckSite(const std::string& site_folder, const platform::Account* account);

// The report as the command prints it: one line per finding, problems marked,
// and a last line with the count.
std::string FormatReport(const std::string& site_folder, const SiteReport& report);

}  // namespace check
