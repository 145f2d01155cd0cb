// The sites an installation serves, for the Windows installer's tool
// (enpanel-install-site.exe): each site folder with the page it was given,
// kept under HKLM\SOFTWARE\enPanel\Sites (a value per site: its folder as
// the name, the page as the data), so that a newer installer can give
// every site the new program with the page it had. Windows only: the
// Debian package's kit keeps its own list.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct SiteRecord {
  std::string folder;  // full path, no separator at the end
  std::string page;    // "legacy" or "todays"
};

// The recorded sites, in the order the registry gives them; empty when none
// are recorded (or they cannot be read: `error` then holds why).
std::vector<SiteRecord> RecordedSites(std::string& error);

// Records the site (or its new page). False with `error` on failure.
bool RecordSite(const SiteRecord& site, std::string& error);

// Removes every record (the installation is going; its sites stay). Those
// kept aside for a newer installation stay for it.
bool ForgetRecordedSites(std::string& error);

// A copy of the records kept aside (HKLM\SOFTWARE\enPanel\SitesKept) while
// an earlier installation is removed for a newer one, and taken back (the
// copy then removed) once the newer one's files are in place.
bool KeepRecordsAside(std::string& error);
bool TakeBackKeptRecords(std::string& error);

}  // namespace platform

namespace platform {

// `folder` as a record holds it: a full path (from the current folder),
// without a separator at the end; empty when the system cannot tell.
std::string RecordedForm(const std::string& folder);

}  // namespace platform
